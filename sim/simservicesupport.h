#pragma once
// Shared by the simulated device services and programs: finding the unit to act
// on, moving texts between state and the callers' fixed buffers safely, and
// writing files whole.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <stddef.h>

class SimUnit;

namespace SimServices {

// What a service returns when no simulated unit exists in this process.
constexpr int noUnit = -1;

// Read bounds for files under the unit root, which a person may have edited.
constexpr qint64 maxTextFileBytes = 1024 * 1024;
constexpr qint64 maxPackageBytes = 1024 * 1024;

// The unit to act on; null with *code set to the call's result when there is
// none or a failure was injected for `function`.
SimUnit* begin(const char* function, int* code);

// Latin-1 text of a caller's string, read no further than `limit` bytes.
QString fromC(const char* text, size_t limit = 4096);
// Latin-1 copy into a caller's buffer of `size` bytes: bounded and terminated.
void toC(char* buffer, size_t size, const QString& text);
template <size_t N> void toC(char (&field)[N], const QString& text)
{
    toC(field, N, text);
}
template <size_t N> QString fromField(const char (&field)[N])
{
    return fromC(field, N);
}

QJsonObject child(const QJsonObject& object, const QString& key);

// An IPv4 address in four dotted decimal parts; null for anything else.
struct Ipv4 {
    bool valid = false;
    quint32 value = 0;
    explicit operator bool() const { return valid; }
};
Ipv4 parseIpv4(const QString& text);
QString ipv4Text(quint32 value);

// Replaces the file with `bytes`, creating its folder; false unless all was written.
bool writeWhole(const QString& path, const QByteArray& bytes);

} // namespace SimServices
