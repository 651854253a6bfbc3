#include "unitfacts.h"

#include <QList>

QString versionLabelText(const QByteArray& content)
{
    if (content.isEmpty())
        return QStringLiteral("Unknown");
    QByteArray line
        = content.left(content.indexOf('\n') < 0 ? content.size() : content.indexOf('\n')).left(1023);
    line.replace('\t', QByteArray()).replace('\r', QByteArray());
    return QString::fromLatin1(line);
}

bool managerIpFromFile(const QByteArray& content, QString* address)
{
    const QList<QByteArray> pieces = content.split('=');
    if (pieces.size() != 2)
        return false;
    *address = QString::fromLatin1(pieces.at(1)).trimmed();
    return true;
}
