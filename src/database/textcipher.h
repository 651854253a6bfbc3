#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

// Keeps an exported configuration unreadable to a casual viewer: a chained XOR
// with the eight bytes of a 64-bit key, optional zlib compression and an
// integrity check, behind a two-byte header and carried as Base64 text.
// Export files travel between units, so the byte layout never changes:
//   [0] version 3, [1] flags, [2..] enciphered block =
//   random byte, integrity data (2-byte checksum or 20-byte SHA-1), payload.
class TextCipher {
public:
    // Every unit exports and imports its settings with this key.
    static constexpr quint64 exportKey = 0x6D2F1B84C9E3A570ULL;

    // Upper bound on a deciphered text. The database document stays far below
    // it; the bound is what keeps a forged length header of a compressed
    // payload from making us allocate gigabytes.
    static constexpr int maxPlainSize = 16 * 1024 * 1024;

    enum CompressionMode { CompressWhenShorter = 0, CompressAlways = 1, CompressNever = 2 };
    enum ProtectionMode { ProtectNone = 0, ProtectChecksum = 1, ProtectHash = 2 };
    enum Error {
        NoError = 0,
        ErrorNoKey = 1,
        // Also: too short, unknown flag bits, or text that is not Base64.
        ErrorUnsupportedVersion = 2,
        ErrorIntegrity = 3,
        // The payload passed its integrity check (or had none) but cannot be
        // turned back into the text: corrupt or truncated compressed data, a
        // length header that disagrees with the data or exceeds maxPlainSize,
        // or a text too large to encipher.
        ErrorBadPayload = 4,
    };

    enum Flag : quint8 { FlagCompressed = 1, FlagChecksum = 2, FlagHash = 4 };

    // Without a key every operation fails with ErrorNoKey.
    TextCipher();
    explicit TextCipher(quint64 key);
    virtual ~TextCipher() = default;

    void setKey(quint64 key);
    quint64 key() const { return keyValue; }
    // Byte i is bits 8i..8i+7 of the key; empty when no key is set.
    QByteArray keyParts() const { return keyBytes; }

    CompressionMode compressionMode() const { return compression; }
    void setCompressionMode(CompressionMode mode) { compression = mode; }
    ProtectionMode protectionMode() const { return protection; }
    void setProtectionMode(ProtectionMode mode) { protection = mode; }

    // Of the most recent operation; a failed one also returns an empty result.
    int lastError() const { return error; }

    QByteArray encryptBytes(const QByteArray& plain);
    QByteArray decryptBytes(const QByteArray& cipher);
    QString encryptText(const QString& plain);
    QString decryptText(const QString& cipher);
    // The deciphered bytes of a Base64 text, in whatever encoding they are.
    QByteArray decryptTextBytes(const QString& cipher);

protected:
    // The first byte of every block. Tests override it for fixed cipher texts.
    virtual quint8 randomByte();

private:
    QByteArray fail(Error code, const char* warning);

    quint64 keyValue = 0;
    QByteArray keyBytes;
    CompressionMode compression = CompressWhenShorter;
    ProtectionMode protection = ProtectChecksum;
    int error = NoError;
    QRandomGenerator generator;
};
