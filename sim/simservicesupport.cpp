#include "simservicesupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string.h>

#include "simunit.h"

namespace SimServices {

SimUnit* begin(const char* function, int* code)
{
    SimUnit* unit = SimUnit::current();
    if (!unit) {
        *code = noUnit;
        return nullptr;
    }
    *code = unit->failure(QString::fromLatin1(function));
    return *code == 0 ? unit : nullptr;
}

QString fromC(const char* text, size_t limit)
{
    if (!text)
        return QString();
    return QString::fromLatin1(text, static_cast<int>(strnlen(text, limit)));
}

void toC(char* buffer, size_t size, const QString& text)
{
    if (!buffer || size == 0)
        return;
    const QByteArray bytes = text.toLatin1();
    const size_t length = qMin(static_cast<size_t>(bytes.size()), size - 1);
    memcpy(buffer, bytes.constData(), length);
    buffer[length] = '\0';
}

Ipv4 parseIpv4(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    Ipv4 address;
    if (parts.size() != 4)
        return address;
    for (const QString& part : parts) {
        bool number = false;
        const uint byte = part.toUInt(&number);
        if (!number || byte > 255 || part.isEmpty() || part.size() > 3 || !part.at(0).isDigit())
            return address;
        address.value = (address.value << 8) | byte;
    }
    address.valid = true;
    return address;
}

QString ipv4Text(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}

QJsonObject child(const QJsonObject& object, const QString& key)
{
    return object.value(key).toObject();
}

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
}

} // namespace SimServices
