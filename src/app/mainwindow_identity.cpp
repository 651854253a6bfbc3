// Who this unit is: identity texts from the board description and the
// firmware's version file, the zone, and the keyboard layout label.
#include "mainwindow.h"
#include "app/mainwindowform.h"

#include "rules/keyboardlanguage.h"
#include "platform/boundedread.h"
#include "platform/platform.h"


namespace {

struct BoardName {
    int id;
    const char* singleHead;
    const char* dualHead;
};

const BoardName boardNames[] = {
    { 1, "Ostrel", "Ostrel" },         { 2, "Malvo", "Malvo" },           { 3, "Vorl", "Vorl" },
    { 4, "TarselLXSH", "TarselLXDH" }, { 5, "Tarsel", "Tarsel" },         { 9, "TarselMXSH", "TarselMXDH" },
};

// A text field of the board description, which the service fills; never read past it.
QString boardText(const char* field, size_t size)
{
    return QString::fromLatin1(field, static_cast<int>(qstrnlen(field, static_cast<uint>(size))));
}

} // namespace

void MainWindow::setUnitIdentity()
{
    UnitIdentity unit;
    unit.mpn = boardText(boardInfo.mpn, sizeof boardInfo.mpn);
    unit.swVersion = readSoftwareVersion();
    const bool singleHead = su_is_single_head_bi(&boardInfo) != 0;
    unit.heads = singleHead ? QStringLiteral("Single") : QStringLiteral("Dual");
    unit.type = QStringLiteral("RX");
    unit.boardName = QStringLiteral("Unknown");
    for (const BoardName& board : boardNames) {
        if (board.id == boardInfo.boardId)
            unit.boardName = QLatin1String(singleHead ? board.singleHead : board.dualHead);
    }
    unit.brand = boardInfo.brandId == 1 ? QStringLiteral("QV")
        : boardInfo.brandId == 2        ? QStringLiteral("KX")
                                        : QStringLiteral("Unknown");
    unit.compatibility = boardInfo.compatibility;
    osd->setIdentity(unit);
}

QString MainWindow::readSoftwareVersion()
{
    QByteArray content;
    if (!readBounded(platform.unitPath(QStringLiteral("/VERSION")), 4096, &content))
        return QStringLiteral("Null");
    const QString first = QString::fromLatin1(content).split(QLatin1Char('\n')).value(0);
    return first.isEmpty() && content.isEmpty() ? QStringLiteral("Null") : first;
}

QString MainWindow::zoneText()
{
    char zone[SU_ZONE_LEN] = {};
    if (su_get_rx_zone(zone) != 0)
        malvo_syslog(3, "MainWindow: an error occurred on reading zone");
    zone[SU_ZONE_LEN - 1] = '\0';
    return zone[0] ? QStringLiteral("Zone: ") + QString::fromLatin1(zone) : QString();
}

QString MainWindow::showKeyboardLayout()
{
    QByteArray content;
    if (!readBounded(platform.unitPath(QStringLiteral("/mnt/perm/keymap")), 256, &content))
        malvo_syslog(3, "MainWindow: Can not open file: /mnt/perm/keymap for reading language.\n");

    const QString label = keyboardLabel(keymapFileLine(content));
    onForm([this, label] { ui->label_3->setText(label); });
    return label;
}

