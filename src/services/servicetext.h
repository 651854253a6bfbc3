#pragma once

#include <QString>

#include <cstring>

// A text as the C services take it: Latin-1, cut to fit `Size` bytes and always
// terminated. Wiped when done, since some of them are passwords.
template <size_t Size>
class ServiceText {
public:
    explicit ServiceText(const QString& value) { qstrncpy(bytes, value.toLatin1().constData(), Size); }
    ~ServiceText() { std::memset(bytes, 0, Size); }
    ServiceText(const ServiceText&) = delete;
    ServiceText& operator=(const ServiceText&) = delete;

    const char* data() const { return bytes; }
    operator const char*() const { return bytes; }

private:
    char bytes[Size] = {};
};
