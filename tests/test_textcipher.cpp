#include "database/textcipher.h"

#include <QtEndian>
#include <QtTest>

namespace {

// Hands out the given first block bytes in turn, so cipher texts are fixed.
class FixedCipher : public TextCipher {
public:
    explicit FixedCipher(QByteArray randomBytes)
        : TextCipher(TextCipher::exportKey)
        , bytes(std::move(randomBytes))
    {
    }

protected:
    quint8 randomByte() override { return quint8(bytes.at(next++ % bytes.size())); }

private:
    QByteArray bytes;
    int next = 0;
};

// A second, independent writer of the chaining with the export key, to forge
// cipher texts whose contents our encoder never produces.
QByteArray forge(quint8 flags, const QByteArray& block)
{
    static const quint8 parts[8] = { 0x70, 0xA5, 0xE3, 0xC9, 0x84, 0x1B, 0x2F, 0x6D };
    QByteArray out;
    out.append(char(3)).append(char(flags));
    quint8 last = 0;
    for (int p = 0; p < block.size(); ++p) {
        last = quint8(block.at(p)) ^ parts[p % 8] ^ last;
        out.append(char(last));
    }
    return out;
}

QString base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

// Random byte, valid checksum, then a compressed payload: only the payload can fail.
QString forgeCompressed(const QByteArray& payload)
{
    QByteArray crc(2, '\0');
    qToBigEndian(qChecksum(payload.constData(), uint(payload.size())), crc.data());
    return base64(
        forge(TextCipher::FlagCompressed | TextCipher::FlagChecksum, QByteArray(1, '\x11') + crc + payload));
}

QByteArray withLengthHeader(QByteArray compressed, quint32 length)
{
    qToBigEndian(length, compressed.data());
    return compressed;
}

const QByteArray sentence = "Connections, users and unit settings of this receiver.";

} // namespace

class TestTextCipher : public QObject {
    Q_OBJECT

private slots:
    void knownAnswers_data()
    {
        QTest::addColumn<int>("protection");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("random");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("text");

        // Worked out by hand from the byte layout with key bytes 70 A5 E3 C9 84 1B 2F 6D.
        // clang-format off
        QTest::newRow("empty, checksum") << 1 << 0 << 0x5A << QString() << QByteArray("03022a8f6c") << "AwIqj2w=";
        QTest::newRow("empty, no integrity") << 0 << 0 << 0x5A << QString() << QByteArray("03002a") << "AwAq";
        QTest::newRow("empty, hash") << 2 << 0 << 0x5A << QString() << QByteArray("03042a558fe58fca8ea8d542f482e967285dbdb78c42cf") << "AwQqVY/lj8qOqNVC9ILpZyhdvbeMQs8=";
        QTest::newRow("short, no integrity") << 0 << 2 << 0xC3 << "OSD" << QByteArray("0300b359e964") << "AwCzWelk";
        QTest::newRow("short, checksum") << 1 << 2 << 0xC3 << "OSD" << QByteArray("0302b36140c6114e") << "AwKzYUDGEU4=";
        QTest::newRow("short, hash") << 2 << 2 << 0xC3 << "OSD" << QByteArray("0304b38afa0aa048fc42cdd1b721fa2b56583c602abc8fdba78e") << "AwSzivoKoEj8Qs3RtyH6K1ZYPGAqvI/bp44=";
        QTest::newRow("non-ASCII, checksum") << 1 << 2 << 0x00 << QString::fromUtf8("Grüße") << QByteArray("0302707f76f80ed645eb04c4") << "AwJwf3b4DtZF6wTE";
        // clang-format on
    }

    void knownAnswers()
    {
        QFETCH(int, protection);
        QFETCH(int, compression);
        QFETCH(int, random);
        QFETCH(QString, plain);
        QFETCH(QString, text);

        FixedCipher cipher(QByteArray(1, char(random)));
        cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
        cipher.setCompressionMode(TextCipher::CompressionMode(compression));
        QTEST(cipher.encryptBytes(plain.toUtf8()).toHex(), "hex");
        QCOMPARE(cipher.encryptText(plain), text);

        // Any unit reads it back, whatever its own modes, also with the line
        // break an editor may have added to the file.
        TextCipher reader(TextCipher::exportKey);
        QCOMPARE(reader.decryptText(text + "\r\n"), plain);
        QCOMPARE(reader.lastError(), 0);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("protection");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<int>("flags");

        const QByteArray large = sentence.repeated(3000);
        // Compressing when shorter leaves a text alone that would only grow.
        QTest::newRow("short, when shorter, none") << 0 << 0 << sentence << 0;
        QTest::newRow("short, always, hash") << 1 << 2 << sentence << 5;
        QTest::newRow("large, when shorter, checksum") << 0 << 1 << large << 3;
        QTest::newRow("large, never, hash") << 2 << 2 << large << 4;
    }

    void roundTrip()
    {
        QFETCH(int, compression);
        QFETCH(int, protection);
        QFETCH(QByteArray, plain);

        TextCipher cipher(TextCipher::exportKey);
        cipher.setCompressionMode(TextCipher::CompressionMode(compression));
        cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
        const QByteArray encrypted = cipher.encryptBytes(plain);
        QTEST(int(quint8(encrypted.at(1))), "flags");
        QCOMPARE(cipher.decryptBytes(encrypted), plain);
        QCOMPARE(cipher.lastError(), 0);
        // A random first byte: the same text does not encrypt alike every time.
        QSet<QByteArray> texts { encrypted };
        for (int i = 0; i < 16; ++i)
            texts.insert(cipher.encryptBytes(plain));
        QVERIFY(texts.size() > 1);
    }

    void reading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("error");

        const int version = TextCipher::ErrorUnsupportedVersion;
        const int integrity = TextCipher::ErrorIntegrity;
        const int payload = TextCipher::ErrorBadPayload;
        const QByteArray compressed = qCompress(sentence, 9);
        const auto row = [](const char* name, const QString& text, int error, const QString& plain = {}) {
            QTest::newRow(name) << text << plain << error;
        };

        // "OSD" behind length header 00000003 as a stored zlib stream, random byte 77, checksum.
        row("hand-built compressed text", "AwMHZDf+emFNWCmNbaTcOFhmUvbPBmU=", 0, "OSD");
        row("empty as a bare zero length", forgeCompressed(QByteArray(4, '\0')), 0);
        row("empty as zero length and an empty zlib stream",
            forgeCompressed(QByteArray(4, '\0') + QByteArray::fromHex("78da030000000001")), 0);

        const struct {
            const char* name;
            int protection;
            int position;
        } tampered[]
            = { { "checksum, integrity data changed", 1, 3 }, { "checksum, last byte changed", 1, -1 },
                  { "hash, random byte changed", 2, 2 }, { "hash, payload changed", 2, 30 } };
        for (const auto& change : tampered) {
            TextCipher cipher(TextCipher::exportKey);
            cipher.setProtectionMode(TextCipher::ProtectionMode(change.protection));
            cipher.setCompressionMode(TextCipher::CompressNever);
            QByteArray encrypted = cipher.encryptBytes(sentence);
            const int at = change.position < 0 ? encrypted.size() - 1 : change.position;
            encrypted[at] = char(encrypted.at(at) ^ 0x5A);
            row(change.name, base64(encrypted), integrity);
        }

        row("not Base64", "not base64!!", version);
        row("non-Latin-1 character", QString::fromUtf8("AwIq€2w="), version);
        row("too short", base64(QByteArray::fromHex("0302")), version);
        row("version 2", base64(QByteArray::fromHex("02022a8f6c")), version);
        row("unknown flag bit", base64(QByteArray::fromHex("03082a")), version);
        row("checksum and hash flags", base64(forge(6, QByteArray(23, 'x'))), version);
        row("checksum flag, no checksum", base64(forge(2, "\x5a")), integrity);
        row("hash flag, short hash", base64(forge(4, QByteArray(20, 'x'))), integrity);
        row("no room for a length header", forgeCompressed(QByteArray("\0\0\1", 3)), payload);
        row("true length one byte over the bound",
            forgeCompressed(qCompress(QByteArray(TextCipher::maxPlainSize + 1, 'a'), 9)), payload);
        row("length header too large", forgeCompressed(withLengthHeader(compressed, sentence.size() + 1)),
            payload);
        row("stream inflates beyond its header",
            forgeCompressed(withLengthHeader(qCompress(QByteArray(1 << 20, '\0'), 9), 10)), payload);
        row("zero length header with a stream", forgeCompressed(withLengthHeader(compressed, 0)), payload);
        row("truncated stream", forgeCompressed(compressed.left(compressed.size() - 6)), payload);
        row("not a zlib stream", forgeCompressed(withLengthHeader(sentence, sentence.size())), payload);
    }

    void reading()
    {
        QFETCH(QString, text);

        TextCipher cipher(TextCipher::exportKey);
        QTEST(cipher.decryptText(text), "plain");
        QTEST(cipher.lastError(), "error");
    }

    void refusals()
    {
        // A text no unit would read back is not written in the first place.
        TextCipher keyed(TextCipher::exportKey);
        QVERIFY(keyed.encryptBytes(QByteArray(TextCipher::maxPlainSize + 1, 'd')).isEmpty());
        QCOMPARE(keyed.lastError(), int(TextCipher::ErrorBadPayload));

        TextCipher keyless;
        QTest::ignoreMessage(QtWarningMsg, "No key set.");
        QVERIFY(keyless.encryptText("secret").isEmpty());
        QCOMPARE(keyless.lastError(), int(TextCipher::ErrorNoKey));
        QTest::ignoreMessage(QtWarningMsg, "No key set.");
        QVERIFY(keyless.decryptBytes(keyed.encryptBytes(sentence)).isEmpty());
        QCOMPARE(keyless.lastError(), int(TextCipher::ErrorNoKey));
    }
};

QTEST_GUILESS_MAIN(TestTextCipher)
#include "test_textcipher.moc"
