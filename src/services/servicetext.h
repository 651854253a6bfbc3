#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>

// Whether the unit's services can take `text` as it is: they read Latin-1 up to
// the first NUL, so anything beyond Latin-1 or a NUL would reach them as another text.
inline bool servicesCarry(const QString& text)
{
    for (const QChar character : text)
        if (character.unicode() > 0xff || character.isNull())
            return false;
    return true;
}

// A text as the C services take it: Latin-1, at most `Size` - 1 bytes, always
// terminated. A text the services cannot carry is never sent altered (Latin-1's
// "?" would make "用户" and "ab" one name): the buffer stays empty. A longer
// text is cut. Where another name must not be acted on, the caller refuses
// unless ok(). Wiped when done, since some of them are passwords.
template <size_t Size>
class ServiceText {
public:
    explicit ServiceText(const QString& value)
    {
        if (!servicesCarry(value))
            return;
        QByteArray latin1 = value.toLatin1();
        qstrncpy(bytes, latin1.constData(), Size);
        whole = latin1.size() < int(Size);
        std::fill(latin1.begin(), latin1.end(), '\0');
    }
    ~ServiceText() { std::memset(bytes, 0, Size); }
    ServiceText(const ServiceText&) = delete;
    ServiceText& operator=(const ServiceText&) = delete;

    // The whole text went across unchanged.
    bool ok() const { return whole; }
    const char* data() const { return bytes; }
    operator const char*() const { return bytes; }

private:
    char bytes[Size] = {};
    bool whole = false;
};
