// The GUI's small text files and the keymap: any bytes as the settings file,
// the counter file or the keymap file must be read, rewritten and counted
// without a crash, and a rewrite must keep every other line.
#include "rules/guifiles.h"
#include "rules/keyboardlanguage.h"
#include "rules/statisticsreporter.h"
#include "database/schema.h"
#include "fuzzunit.h"

#include <QDomDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    static const QDomDocument database = newDatabaseDocument();

    FuzzPlatform platform;
    FastWriter writer(platform);
    GuiSettingsFile settings(platform, writer);
    platform.place(QLatin1String(GuiFiles::settingsPath), input);
    settings.readAutoLoginUser(database, false);
    settings.readAutoLoginUser(database, true);
    settings.readPowerMode();
    settings.writeAutoLoginUser(QStringLiteral("admin"));
    if (settings.readAutoLoginUser(database, true) != QLatin1String("admin"))
        __builtin_trap(); // the value just written must read back

    platform.place(QLatin1String(GuiFiles::lastUserPath), input);
    settings.readLastUser();

    QStringList lines;
    platform.place(QLatin1String(GuiFiles::authenticationStatPath), input);
    GuiFiles::readLines(platform.unitPath(QLatin1String(GuiFiles::authenticationStatPath)), &lines);
    for (const QString& line : qAsConst(lines))
        counterValue(line.section(QLatin1Char('='), 1));
    incrementCounterLines(lines, QStringLiteral("failed_login"));
    StatisticsReporter(platform, writer).incrementAuthenticationStat(QStringLiteral("successful_login"));

    keyboardLabel(keymapFileLine(input));
    return 0;
}
