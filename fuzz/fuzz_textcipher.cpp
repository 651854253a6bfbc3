// The export file's cipher: any bytes, as raw cipher text and as the file's
// Base64 text, must give a result or an error, never a crash or a huge buffer.
#include "database/textcipher.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    TextCipher cipher(TextCipher::exportKey);
    const QByteArray plain = cipher.decryptBytes(input);
    if (cipher.lastError() != 0 && !plain.isEmpty())
        __builtin_trap(); // a failure must never hand out text
    cipher.decryptText(QString::fromLatin1(input));
    return 0;
}
