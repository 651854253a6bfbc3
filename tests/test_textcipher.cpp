#include "database/textcipher.h"

#include <QRandomGenerator>
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

// Random byte, valid checksum, then the payload: passes the integrity check.
QByteArray forgeChecked(quint8 flags, const QByteArray& payload)
{
    QByteArray crc(2, '\0');
    qToBigEndian(qChecksum(payload.constData(), uint(payload.size())), crc.data());
    return forge(flags | TextCipher::FlagChecksum, QByteArray(1, '\x11') + crc + payload);
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
    void knownAnswers_data();
    void knownAnswers();
    void decipherKnownCompressedText();
    void roundTrip_data();
    void roundTrip();
    void sameTextTwiceDiffers();
    void tamperedBlockIsRejected_data();
    void tamperedBlockIsRejected();
    void foreignBytesAreRejected_data();
    void foreignBytesAreRejected();
    void hostileTextIsRejected_data();
    void hostileTextIsRejected();
    void randomBytesNeverCrash();
    void sizeBound();
    void noKeyFails();
};

void TestTextCipher::knownAnswers_data()
{
    QTest::addColumn<int>("protection");
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("random");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QString>("text");

    // Worked out by hand from the byte layout with key bytes 70 A5 E3 C9 84 1B 2F 6D.
    QTest::newRow("empty, checksum") << 1 << 0 << 0x5A << QString() << QByteArray("03022a8f6c") << "AwIqj2w=";
    QTest::newRow("empty, no integrity") << 0 << 0 << 0x5A << QString() << QByteArray("03002a") << "AwAq";
    QTest::newRow("empty, hash") << 2 << 0 << 0x5A << QString()
                                 << QByteArray("03042a558fe58fca8ea8d542f482e967285dbdb78c42cf")
                                 << "AwQqVY/lj8qOqNVC9ILpZyhdvbeMQs8=";
    QTest::newRow("short, no integrity")
        << 0 << 2 << 0xC3 << "OSD" << QByteArray("0300b359e964") << "AwCzWelk";
    QTest::newRow("short, checksum") << 1 << 2 << 0xC3 << "OSD" << QByteArray("0302b36140c6114e")
                                     << "AwKzYUDGEU4=";
    QTest::newRow("short, hash") << 2 << 2 << 0xC3 << "OSD"
                                 << QByteArray("0304b38afa0aa048fc42cdd1b721fa2b56583c602abc8fdba78e")
                                 << "AwSzivoKoEj8Qs3RtyH6K1ZYPGAqvI/bp44=";
    QTest::newRow("non-ASCII, checksum") << 1 << 2 << 0x00 << QString::fromUtf8("Grüße")
                                         << QByteArray("0302707f76f80ed645eb04c4") << "AwJwf3b4DtZF6wTE";
}

void TestTextCipher::knownAnswers()
{
    QFETCH(int, protection);
    QFETCH(int, compression);
    QFETCH(int, random);
    QFETCH(QString, plain);
    QFETCH(QByteArray, hex);
    QFETCH(QString, text);

    FixedCipher cipher(QByteArray(1, char(random)));
    cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
    cipher.setCompressionMode(TextCipher::CompressionMode(compression));
    QCOMPARE(cipher.encryptBytes(plain.toUtf8()).toHex(), hex);
    QCOMPARE(cipher.encryptText(plain), text);

    // Any unit reads it back, whatever its own modes, also with the line
    // break an editor may have added to the file.
    TextCipher reader(TextCipher::exportKey);
    QCOMPARE(reader.decryptText(text), plain);
    QCOMPARE(reader.lastError(), 0);
    QCOMPARE(reader.decryptText(text + "\r\n"), plain);
    QCOMPARE(reader.lastError(), 0);
}

void TestTextCipher::decipherKnownCompressedText()
{
    // "OSD" as length header 00000003 and a hand-built stored zlib stream,
    // random byte 77, checksum protected.
    TextCipher reader(TextCipher::exportKey);
    QCOMPARE(reader.decryptText("AwMHZDf+emFNWCmNbaTcOFhmUvbPBmU="), QString("OSD"));
    QCOMPARE(reader.lastError(), 0);
}

void TestTextCipher::roundTrip_data()
{
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("protection");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<int>("flags");

    QByteArray noise(4096, Qt::Uninitialized);
    QRandomGenerator seeded(7);
    for (char& c : noise)
        c = char(seeded.generate());
    const struct {
        const char* name;
        QByteArray bytes;
        bool shrinks;
    } samples[] = {
        { "empty", QByteArray(), false },
        { "short", sentence.left(12), false },
        { "large document", sentence.repeated(3000), true },
        { "incompressible", noise, false },
    };
    const int integrityFlag[] = { 0, TextCipher::FlagChecksum, TextCipher::FlagHash };
    for (int compression = 0; compression < 3; ++compression) {
        for (int protection = 0; protection < 3; ++protection) {
            for (const auto& sample : samples) {
                const bool compressed = compression == 1 || (compression == 0 && sample.shrinks);
                QTest::addRow("compression %d, protection %d, %s", compression, protection, sample.name)
                    << compression << protection << sample.bytes
                    << (integrityFlag[protection] | (compressed ? TextCipher::FlagCompressed : 0));
            }
        }
    }
}

void TestTextCipher::roundTrip()
{
    QFETCH(int, compression);
    QFETCH(int, protection);
    QFETCH(QByteArray, plain);
    QFETCH(int, flags);

    TextCipher cipher(TextCipher::exportKey);
    cipher.setCompressionMode(TextCipher::CompressionMode(compression));
    cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
    const QByteArray encrypted = cipher.encryptBytes(plain);
    QCOMPARE(int(quint8(encrypted.at(1))), flags);
    QCOMPARE(cipher.decryptBytes(encrypted), plain);
    QCOMPARE(cipher.lastError(), 0);
}

void TestTextCipher::sameTextTwiceDiffers()
{
    // A different first byte changes every byte after it through the chaining.
    FixedCipher fixed(QByteArray("\x01\x02"));
    const QByteArray first = fixed.encryptBytes(sentence);
    const QByteArray second = fixed.encryptBytes(sentence);
    QCOMPARE(first.size(), second.size());
    for (int p = 2; p < first.size(); ++p)
        QVERIFY2(first.at(p) != second.at(p), qPrintable(QString::number(p)));
    QCOMPARE(fixed.decryptBytes(first), sentence);
    QCOMPARE(fixed.decryptBytes(second), sentence);

    // The real generator does vary the first byte.
    TextCipher cipher(TextCipher::exportKey);
    QSet<QString> texts;
    for (int i = 0; i < 16; ++i)
        texts.insert(cipher.encryptText(QString::fromLatin1(sentence)));
    QVERIFY(texts.size() > 1);
    for (const QString& text : qAsConst(texts))
        QCOMPARE(cipher.decryptText(text), QString::fromLatin1(sentence));
}

void TestTextCipher::tamperedBlockIsRejected_data()
{
    QTest::addColumn<int>("protection");
    QTest::addColumn<int>("position");

    const struct {
        const char* name;
        int position;
    } positions[] = { { "random byte", 2 }, { "integrity data", 3 }, { "payload", 30 }, { "last byte", -1 } };
    for (int protection = 1; protection <= 2; ++protection) {
        for (const auto& at : positions)
            QTest::addRow("%s, %s", protection == 1 ? "checksum" : "hash", at.name)
                << protection << at.position;
    }
}

void TestTextCipher::tamperedBlockIsRejected()
{
    QFETCH(int, protection);
    QFETCH(int, position);

    TextCipher cipher(TextCipher::exportKey);
    cipher.setProtectionMode(TextCipher::ProtectionMode(protection));
    cipher.setCompressionMode(TextCipher::CompressNever);
    QByteArray encrypted = cipher.encryptBytes(sentence);
    const int at = position < 0 ? encrypted.size() - 1 : position;
    encrypted[at] = char(encrypted.at(at) ^ 0x5A);
    QVERIFY(cipher.decryptBytes(encrypted).isEmpty());
    QCOMPARE(cipher.lastError(), int(TextCipher::ErrorIntegrity));
}

void TestTextCipher::foreignBytesAreRejected_data()
{
    QTest::addColumn<QByteArray>("cipherBytes");
    QTest::addColumn<int>("error");

    const int version = TextCipher::ErrorUnsupportedVersion;
    const int integrity = TextCipher::ErrorIntegrity;
    const int payload = TextCipher::ErrorBadPayload;
    const QByteArray compressed = qCompress(sentence, 9);
    const QByteArray bomb = qCompress(QByteArray(1 << 20, '\0'), 9);
    const quint8 zipped = TextCipher::FlagCompressed;

    QTest::newRow("empty") << QByteArray() << version;
    QTest::newRow("one byte") << QByteArray::fromHex("03") << version;
    QTest::newRow("two bytes") << QByteArray::fromHex("0302") << version;
    QTest::newRow("version 2") << QByteArray::fromHex("02022a8f6c") << version;
    QTest::newRow("unknown flag bit") << QByteArray::fromHex("03082a") << version;
    QTest::newRow("checksum and hash flags") << forge(6, QByteArray(23, 'x')) << version;
    QTest::newRow("checksum flag, no checksum") << forge(2, "\x5a") << integrity;
    QTest::newRow("hash flag, short hash") << forge(4, QByteArray(20, 'x')) << integrity;
    QTest::newRow("compressed, 3-byte payload") << forgeChecked(zipped, QByteArray("\0\0\1", 3)) << payload;
    QTest::newRow("compressed, huge length header")
        << forgeChecked(zipped, withLengthHeader(compressed, 0xFFFFFFFF)) << payload;
    QTest::newRow("compressed, 2 GiB length header")
        << forgeChecked(zipped, withLengthHeader(compressed, 0x7FFFFF00)) << payload;
    QTest::newRow("compressed, true text over the bound")
        << forgeChecked(zipped, qCompress(QByteArray(TextCipher::maxPlainSize + 1, 'a'), 9)) << payload;
    QTest::newRow("compressed, length header too small")
        << forgeChecked(zipped, withLengthHeader(compressed, sentence.size() - 1)) << payload;
    QTest::newRow("compressed, length header too large")
        << forgeChecked(zipped, withLengthHeader(compressed, sentence.size() + 1)) << payload;
    QTest::newRow("compressed, understated large stream")
        << forgeChecked(zipped, withLengthHeader(bomb, 10)) << payload;
    QTest::newRow("compressed, zero length header with a stream")
        << forgeChecked(zipped, withLengthHeader(compressed, 0)) << payload;
    QTest::newRow("compressed, truncated stream")
        << forgeChecked(zipped, compressed.left(compressed.size() - 6)) << payload;
    QTest::newRow("compressed, not a zlib stream")
        << forgeChecked(zipped, withLengthHeader(sentence, sentence.size())) << payload;
}

void TestTextCipher::foreignBytesAreRejected()
{
    QFETCH(QByteArray, cipherBytes);
    QFETCH(int, error);

    TextCipher cipher(TextCipher::exportKey);
    QVERIFY(cipher.decryptBytes(cipherBytes).isEmpty());
    QCOMPARE(cipher.lastError(), error);
}

void TestTextCipher::hostileTextIsRejected_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("not Base64") << "not base64!!";
    QTest::newRow("misplaced padding") << "Aw==Iqj2w=";
    QTest::newRow("non-Latin-1 character") << QString::fromUtf8("AwIq€2w=");
    QTest::newRow("Base64 of other bytes") << "AAAA";
}

void TestTextCipher::hostileTextIsRejected()
{
    QFETCH(QString, text);

    TextCipher cipher(TextCipher::exportKey);
    QVERIFY(cipher.decryptText(text).isEmpty());
    QCOMPARE(cipher.lastError(), int(TextCipher::ErrorUnsupportedVersion));
}

void TestTextCipher::randomBytesNeverCrash()
{
    QRandomGenerator seeded(20240601);
    QVector<int> lengths;
    for (int length = 0; length < 160; ++length)
        lengths << length;
    lengths << 1000 << 4096 << 70000;
    for (const int length : qAsConst(lengths)) {
        QByteArray bytes(length, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(seeded.generate());
        // Raw, and made to pass the header so every later stage sees it.
        for (int flags = -1; flags < 8 && (flags < 0 || length >= 2); ++flags) {
            if (flags >= 0) {
                bytes[0] = 3;
                bytes[1] = char(flags);
            }
            TextCipher cipher(TextCipher::exportKey);
            const QByteArray result = cipher.decryptBytes(bytes);
            const QByteArray context = QByteArray::number(length) + '/' + QByteArray::number(flags);
            QVERIFY2(cipher.lastError() == 0 || result.isEmpty(), context.constData());
            // Compressed data, a hash or foreign header must not pass by chance.
            if (flags < 0 ? !bytes.startsWith(char(3))
                          : (flags & (TextCipher::FlagCompressed | TextCipher::FlagHash)))
                QVERIFY2(cipher.lastError() != 0, context.constData());
        }
    }
}

void TestTextCipher::sizeBound()
{
    // The largest text we accept still round-trips in the least compact form...
    const QByteArray largest(TextCipher::maxPlainSize, 'd');
    TextCipher cipher(TextCipher::exportKey);
    cipher.setCompressionMode(TextCipher::CompressNever);
    cipher.setProtectionMode(TextCipher::ProtectHash);
    QCOMPARE(cipher.decryptBytes(cipher.encryptBytes(largest)), largest);
    QCOMPARE(cipher.lastError(), 0);

    // ...and one byte more is refused up front, rather than written to a file
    // that no unit would read back.
    QVERIFY(cipher.encryptBytes(largest + 'd').isEmpty());
    QCOMPARE(cipher.lastError(), int(TextCipher::ErrorBadPayload));
}

void TestTextCipher::noKeyFails()
{
    TextCipher cipher;
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QVERIFY(cipher.encryptText("secret").isEmpty());
    QCOMPARE(cipher.lastError(), int(TextCipher::ErrorNoKey));

    TextCipher keyed(TextCipher::exportKey);
    const QByteArray encrypted = keyed.encryptBytes(sentence);
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QVERIFY(cipher.decryptBytes(encrypted).isEmpty());
    QCOMPARE(cipher.lastError(), int(TextCipher::ErrorNoKey));
}

QTEST_GUILESS_MAIN(TestTextCipher)
#include "test_textcipher.moc"
