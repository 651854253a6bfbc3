#include "diagnosticsfile.h"

#include "app/osdcontext.h"
#include "app/osdmessagebox.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "rules/usbdevice.h"

#include <QFile>

namespace DiagnosticsFile {

bool confirmReplacing(OsdContext& context, QWidget* parent, const QString& targetFile)
{
    if (!entryExists(targetFile))
        return true;
    OsdMessageBox question(QStringLiteral("Diagnostics File"),
                           QStringLiteral("Diagnostics file with same name already exist. Are you sure you want "
                                          "to overwrite the existing file?"),
                           QMessageBox::Yes | QMessageBox::No, parent);
    context.closeOnLogoff(&question);
    return question.exec() == QMessageBox::Yes;
}

bool copyToStick(Platform& platform, const QString& source, const QString& target)
{
    // The old file stays until the whole new one is there to take its place.
    const int slash = target.lastIndexOf(QLatin1Char('/'));
    const QString partial = target.left(slash + 1) + QLatin1Char('.') + target.mid(slash + 1) + QLatin1String(".part");
    const QString partialFile = platform.unitPath(partial);
    if (entryExists(partialFile) && !QFile::remove(partialFile))
        return false;
    if (!copyWholeFile(platform, source, partial))
        return false;
    if (!replaceEntry(partialFile, platform.unitPath(target))) {
        QFile::remove(partialFile);
        return false;
    }
    platform.run(QLatin1String(UnitPrograms::sync), {});
    return true;
}

} // namespace DiagnosticsFile
