#include "textcipher.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QtDebug>
#include <QtEndian>

#include <zlib.h>

namespace {

const char cipherVersion = 3;
const int headerSize = 2;
const int checksumSize = 2;
const int hashSize = 20;
const quint8 knownFlags = TextCipher::FlagCompressed | TextCipher::FlagChecksum | TextCipher::FlagHash;

const char* const noKeyWarning = "No key set.";
const char* const versionWarning = "Invalid version or not a cyphertext.";
const char* const payloadWarning = "Corrupt or oversized cyphertext payload.";

quint32 newSeed()
{
    return quint32(QDateTime::currentMSecsSinceEpoch() & 0xFFFF);
}

QByteArray checksumBytes(const QByteArray& payload)
{
    QByteArray bytes(checksumSize, Qt::Uninitialized);
    qToBigEndian(qChecksum(payload.constData(), uint(payload.size())), bytes.data());
    return bytes;
}

QByteArray sha1(const QByteArray& payload)
{
    return QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
}

// The payload is qCompress's form: a 4-byte big-endian length, then a zlib
// stream. qUncompress trusts that length and keeps growing its buffer when the
// stream yields more, so a small forged file could claim gigabytes; inflating
// into exactly the claimed size, itself bounded, cannot.
bool uncompressBounded(const QByteArray& payload, QByteArray* plain)
{
    if (payload.size() < 4)
        return false;
    const quint32 claimed = qFromBigEndian<quint32>(payload.constData());
    if (claimed > quint32(TextCipher::maxPlainSize))
        return false;
    if (claimed == 0) {
        // qCompress writes an empty input as the bare length and no stream;
        // other writers add an empty zlib stream, which must yield nothing.
        plain->clear();
        if (payload.size() == 4)
            return true;
        Bytef none[1];
        uLongf produced = sizeof none;
        return ::uncompress(none, &produced, reinterpret_cast<const Bytef*>(payload.constData()) + 4,
                   uLong(payload.size() - 4))
            == Z_OK
            && produced == 0;
    }
    plain->resize(int(claimed));
    uLongf produced = claimed;
    const int status = ::uncompress(reinterpret_cast<Bytef*>(plain->data()), &produced,
                                    reinterpret_cast<const Bytef*>(payload.constData()) + 4,
                                    uLong(payload.size() - 4));
    if (status != Z_OK || produced != claimed) {
        plain->clear();
        return false;
    }
    return true;
}

bool isBase64Space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

TextCipher::TextCipher()
    : generator(newSeed())
{
}

TextCipher::TextCipher(quint64 key)
    : generator(newSeed())
{
    setKey(key);
}

void TextCipher::setKey(quint64 key)
{
    keyValue = key;
    keyBytes.resize(8);
    for (int i = 0; i < 8; ++i)
        keyBytes[i] = char((key >> (8 * i)) & 0xFF);
}

quint8 TextCipher::randomByte()
{
    return quint8(generator.generate() & 0xFF);
}

QByteArray TextCipher::fail(Error code, const char* warning)
{
    qWarning("%s", warning);
    error = code;
    return QByteArray();
}

QByteArray TextCipher::encryptBytes(const QByteArray& plain)
{
    if (keyBytes.isEmpty())
        return fail(ErrorNoKey, noKeyWarning);
    // A text we would refuse to decipher must not be written in the first place.
    if (plain.size() > maxPlainSize)
        return fail(ErrorBadPayload, payloadWarning);

    quint8 flags = 0;
    QByteArray payload = plain;
    if (compression != CompressNever) {
        const QByteArray compressed = qCompress(plain, 9);
        if (compression == CompressAlways || compressed.size() < plain.size()) {
            payload = compressed;
            flags |= FlagCompressed;
        }
    }

    QByteArray integrity;
    if (protection == ProtectChecksum) {
        flags |= FlagChecksum;
        integrity = checksumBytes(payload);
    } else if (protection == ProtectHash) {
        flags |= FlagHash;
        integrity = sha1(payload);
    }

    QByteArray result;
    result.reserve(headerSize + 1 + integrity.size() + payload.size());
    result.append(cipherVersion);
    result.append(char(flags));
    result.append(char(randomByte()));
    result.append(integrity);
    result.append(payload);

    char* block = result.data() + headerSize;
    const int blockSize = result.size() - headerSize;
    char last = 0;
    for (int p = 0; p < blockSize; ++p) {
        block[p] = char(block[p] ^ keyBytes.at(p % 8) ^ last);
        last = block[p];
    }

    error = NoError;
    return result;
}

QByteArray TextCipher::decryptBytes(const QByteArray& cipher)
{
    if (keyBytes.isEmpty())
        return fail(ErrorNoKey, noKeyWarning);
    // Too short to carry even the random byte: not one of ours, and an empty
    // result with no error would read as a valid empty text.
    if (cipher.size() < headerSize + 1 || cipher.at(0) != cipherVersion)
        return fail(ErrorUnsupportedVersion, versionWarning);
    // Bits we do not know, or both kinds of integrity data at once, come from a
    // format we cannot read correctly; guessing would garble the text.
    const quint8 flags = quint8(cipher.at(1));
    if ((flags & ~knownFlags) != 0 || ((flags & FlagChecksum) && (flags & FlagHash)))
        return fail(ErrorUnsupportedVersion, versionWarning);
    // Deciphering never grows the data unless compressed, so a longer input
    // cannot be a text within our bound.
    if (cipher.size() > maxPlainSize + headerSize + 1 + hashSize)
        return fail(ErrorBadPayload, payloadWarning);

    const int blockSize = cipher.size() - headerSize;
    const char* block = cipher.constData() + headerSize;
    QByteArray plain(blockSize, Qt::Uninitialized);
    char last = 0;
    for (int p = 0; p < blockSize; ++p) {
        plain[p] = char(block[p] ^ last ^ keyBytes.at(p % 8));
        last = block[p];
    }

    QByteArray payload = plain.mid(1);
    if (flags & FlagChecksum) {
        if (payload.size() < checksumSize)
            return fail(ErrorIntegrity, "Cyphertext integrity check failed.");
        const QByteArray stored = payload.left(checksumSize);
        payload.remove(0, checksumSize);
        if (checksumBytes(payload) != stored)
            return fail(ErrorIntegrity, "Cyphertext integrity check failed.");
    } else if (flags & FlagHash) {
        if (payload.size() < hashSize)
            return fail(ErrorIntegrity, "Cyphertext integrity check failed.");
        const QByteArray stored = payload.left(hashSize);
        payload.remove(0, hashSize);
        if (sha1(payload) != stored)
            return fail(ErrorIntegrity, "Cyphertext integrity check failed.");
    }

    if (flags & FlagCompressed) {
        QByteArray uncompressed;
        if (!uncompressBounded(payload, &uncompressed))
            return fail(ErrorBadPayload, payloadWarning);
        payload = uncompressed;
    }

    error = NoError;
    return payload;
}

QString TextCipher::encryptText(const QString& plain)
{
    return QString::fromLatin1(encryptBytes(plain.toUtf8()).toBase64());
}

QString TextCipher::decryptText(const QString& cipher)
{
    return QString::fromUtf8(decryptTextBytes(cipher));
}

QByteArray TextCipher::decryptTextBytes(const QString& cipher)
{
    if (keyBytes.isEmpty())
        return fail(ErrorNoKey, noKeyWarning);
    // Line breaks or a trailing newline that an editor or a copy added are no
    // reason to refuse a file; anything else outside the alphabet is.
    const QByteArray latin1 = cipher.toLatin1();
    QByteArray text;
    text.reserve(latin1.size());
    for (const char c : latin1) {
        if (!isBase64Space(c))
            text.append(c);
    }
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        text, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return fail(ErrorUnsupportedVersion, versionWarning);
    return decryptBytes(decoded.decoded);
}
