#pragma once
// Shared by the simulated device services: finding the unit to act on, and
// moving texts between state and the callers' fixed buffers safely.

#include <QJsonObject>
#include <QString>
#include <stddef.h>

class SimUnit;

namespace SimServices {

// What a service returns when no simulated unit exists in this process.
constexpr int noUnit = -1;

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

} // namespace SimServices
