#include "settingstransfer.h"

#include "app/osdcontext.h"
#include "database/databasestorage.h"
#include "database/schema.h"
#include "platform/boundedread.h"
#include "platform/keptfiles.h"
#include "platform/platform.h"
#include "platform/unitfiles.h"
#include "rules/guifiles.h"
#include "rules/networkfiles.h"
#include "rules/networkrules.h"
#include "rules/statisticsreporter.h"
#include "rules/unitsettings.h"
#include "rules/usbdevice.h"
#include "services/device_services.h"
#include "upgrade/filedialog.h"
#include "upgrade/rxupgrade.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

using namespace ConfigTransfer;

namespace {

void putBack(const KeptFiles& kept, DurableWriter& writer)
{
    for (const QString& path : kept.putBack(writer))
        malvo_syslog(3, "MainWindow: Can not put back %s", qPrintable(path));
}

const char stagingPath[] = "/usr/local/VelmoDataA.ccfg";
const char decipheredPath[] = "/mnt/perm/VelmoDataCopy.xml";
using NetworkFiles::interfacesPath;
using NetworkFiles::resolverPath;
const char autoLoginKey[] = "autoLoginUsr";
const char powerModeKey[] = "power_mode";
const char rememberedKey[] = "rememberLastUsrName";
constexpr qint64 maxDatabaseBytes = maxDatabaseTextBytes;
constexpr qint64 maxResolverBytes = 64 * 1024;

// Where the settings file's values live in the document.
struct MirroredValue {
    const char* key;
    UnitSetting setting;
};
const MirroredValue mirroredValues[] = {
    { powerModeKey, UnitSetting::PowerMode },
    { autoLoginKey, UnitSetting::AutoLogonUser },
    { rememberedKey, UnitSetting::RememberedUser },
};

// Changes the groups that exist where they differ; true when any did.
bool setMirroredValues(QDomDocument& document, const QHash<QString, QString>& values)
{
    bool changed = false;
    for (const MirroredValue& mirrored : mirroredValues) {
        const QString key = QLatin1String(mirrored.key);
        if (!values.contains(key) || readUnitSetting(document, mirrored.setting) == values.value(key))
            continue;
        changed = writeUnitSetting(document, mirrored.setting, values.value(key)) || changed;
    }
    return changed;
}

bool isFolder(Platform& platform, const char* path)
{
    const QFileInfo info(platform.unitPath(QLatin1String(path)));
    return info.isDir() && info.isExecutable();
}


} // namespace

SettingsTransfer::SettingsTransfer(OsdContext& context, RxUpgrade& usb, QObject* parent)
    : QObject(parent)
    , context(context)
    , usb(usb)
    , platform(context.platform())
    , writer(platform)
{
}

bool SettingsTransfer::confirmed(const QString& title, const QString& text)
{
    return context.ask(title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool SettingsTransfer::storeGuiSettingsInDocument()
{
    QHash<QString, QString> values;
    // A value the file does not hold is not one to store.
    if (!context.guiSettings().readValues(
            { QLatin1String(autoLoginKey), QLatin1String(rememberedKey), QLatin1String(powerModeKey) },
            &values))
        return true;
    QDomDocument probe = context.document().cloneNode(true).toDocument();
    if (!setMirroredValues(probe, values))
        return true;
    DatabaseStorage& storage = context.storage();
    const QDomDocument before = context.document().cloneNode(true).toDocument();
    if (storage.commitChange([&](QDomDocument& document) { setMirroredValues(document, values); }))
        return true;
    malvo_syslog(3, "Velmogui: Can not open file for writing: %s", qPrintable(storage.databasePath));
    context.document() = before;
    return false;
}

void SettingsTransfer::exportSettings()
{
    malvo_syslog(5, "MainWindow: Action Export.\n");
    if (!storeGuiSettingsInDocument()) {
        context.showWarning(QStringLiteral("Error"), QStringLiteral("Export failed. Internal error."));
        return;
    }
    const UsbMount mount = remountUsb(platform);
    if (mount != UsbMount::Mounted) {
        context.showWarning(QStringLiteral("Error"),
            mount == UsbMount::TableUnreadable
                ? QStringLiteral("Export failed. Cannot open USB memory device. The export can not proceed.")
                : QStringLiteral("Export failed. USB memory device not found."));
        return;
    }
    const Outcome outcome = exportToStick();
    // The enciphered copy must not stay behind on the unit, whatever happened.
    QFile::remove(platform.unitPath(QLatin1String(stagingPath)));
    su_unmount_usb_drive();
    if (!outcome.error.isEmpty())
        context.showWarning(QStringLiteral("Error"), outcome.error);
    else if (outcome.done)
        context.showWarning(
            QStringLiteral("Information"), QStringLiteral("Export successfully completed."));
}

SettingsTransfer::Outcome SettingsTransfer::exportToStick()
{
    if (!isFolder(platform, "/mnt/perm"))
        return { QStringLiteral("Export failed. Internal error.") };
    DatabaseStorage& storage = context.storage();
    QString source;
    for (const char* copy : { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath }) {
        if (isRegularFile(platform.unitPath(QLatin1String(copy)))
            && storage.verifyChecksumFile(QLatin1String(copy))) {
            source = QLatin1String(copy);
            break;
        }
    }
    if (source.isEmpty())
        return { QStringLiteral("Export failed. Local Configuration file is not found.") };
    if (!isFolder(platform, "/mnt/usb"))
        return { QStringLiteral("Export failed. USB memory device not found.") };

    FileDialog dialog(
        context, QStringLiteral("Save As"), QStringLiteral("*"), QStringLiteral(".ccfg"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    // The name becomes a path on the stick: it must stay one entry of its root.
    const QString name = context.selectedFile();
    if (!isSafeFileName(name))
        return { QStringLiteral("Export failed. Invalid file name.") };

    QByteArray copy;
    QDomDocument scratch;
    bool truncated = false;
    if (!readBounded(platform.unitPath(source), maxDatabaseBytes, &copy, &truncated) || truncated
        || !readDatabaseText(copy, scratch))
        return { QStringLiteral("Export failed. Internal error.") };
    const QByteArray exported = exportFileText(scratch);
    const QString staging = platform.unitPath(QLatin1String(stagingPath));
    if (exported.isEmpty() || !writer.writeFile(staging, exported))
        return { QStringLiteral("Export failed. Can not create Local Configuration file.") };

    const QString target = platform.unitPath(QStringLiteral("/mnt/usb/") + name);
    if (entryExists(target)
        && !confirmed(QStringLiteral("Export File"),
            QStringLiteral("Local Configuration file with same name already exists. Are you sure you want to "
                           "overwrite the existing file?")))
        return {};
    // Written beside the old file and renamed over it only when whole: a
    // failed copy keeps the old file, and a link in its place is replaced,
    // never followed off the stick.
    QByteArray staged;
    const bool copied = readBounded(staging, maxImportFileBytes, &staged, &truncated) && !truncated
        && writer.writeFile(target, staged) && isRegularFile(target)
        && QFileInfo(target).size() == staged.size();
    if (!copied)
        return { QStringLiteral("Export failed. Unknown error.") };
    platform.run(QLatin1String(UnitPrograms::sync), {});
    return { QString(), true };
}

void SettingsTransfer::importSettings()
{
    malvo_syslog(5, "MainWindow: Action Import.\n");
    if (usb.remountUsbDevice() != 1) {
        QByteArray mounts;
        // An unreadable mount table has had its message from the mount step.
        if (readMountTable(platform, &mounts))
            context.showWarning(
                QStringLiteral("Error"), QStringLiteral("Import failed. USB memory device not found."));
        return;
    }
    const UnitNetwork unit = unitNetworkOf(context.document());
    ImportPlan plan;
    bool storedInCopyA = false;
    const KeptFiles kept(platform,
        { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath, DatabaseStorage::checksumAPath,
            DatabaseStorage::checksumBPath, interfacesPath, resolverPath, GuiFiles::settingsPath },
        maxDatabaseBytes);
    DatabaseStorage& storage = context.storage();
    const QString databasePath = storage.databasePath;
    Outcome outcome = importFromStick(plan, unit, &storedInCopyA);
    // The deciphered configuration holds every password in clear text.
    QFile::remove(platform.unitPath(QLatin1String(decipheredPath)));
    su_unmount_usb_drive();
    // The unit reboots with a database its files agree with, or stays as it was.
    bool applied = outcome.done;
    if (applied && storedInCopyA && !context.isManaged())
        applied = applyNetwork(plan.network, unit);
    applied = applied && applyGuiSettings(plan);
    if (!applied) {
        putBack(kept, writer);
        storage.databasePath = databasePath;
        if (outcome.done)
            outcome.error = QStringLiteral("Import failed. Internal error.");
        if (!outcome.error.isEmpty())
            context.showWarning(QStringLiteral("Error"), outcome.error);
        return;
    }
    applyPowerMode(plan.powerMode);
    context.storage().reloadDatabase();
    for (const QString& pool : qAsConst(plan.droppedPools))
        qDebug().noquote() << QStringLiteral("Imported db contains TX pool named ") + pool
                + QStringLiteral(" and it will be removed because RX is unmanaged.");
    context.showWarning(QStringLiteral("Information"),
        QStringLiteral("Import successfully completed. The system will reboot now."));
    context.reboot();
}

SettingsTransfer::Outcome SettingsTransfer::importFromStick(
    ImportPlan& plan, const UnitNetwork& unit, bool* storedInCopyA)
{
    if (!isFolder(platform, "/mnt/usb"))
        return { QStringLiteral("Import failed. Internal error.") };
    FileDialog dialog(
        context, QStringLiteral("File Import"), QStringLiteral("*"), QStringLiteral(".ccfg"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString name = context.selectedFile();
    if (!name.endsWith(QLatin1String(".ccfg")) || !isSafeFileName(name))
        return { QStringLiteral("Specified File type is not compatible.") };
    if (!isFolder(platform, "/mnt/perm"))
        return { QStringLiteral("Cannot open directory.") };

    // Without a copy A to replace, going on would end in a factory restore
    // nobody asked for.
    const QString copyA = platform.unitPath(QLatin1String(DatabaseStorage::copyAPath));
    QFile probe(copyA);
    if (!isRegularFile(copyA) || !probe.open(QIODevice::ReadWrite))
        return { QStringLiteral("Import failed. Internal error.") };
    probe.close();
    if (!confirmed(QStringLiteral("Import"),
            QStringLiteral("Are you sure you want to overwrite the existing device configurations?")))
        return {};

    QByteArray file;
    bool truncated = false;
    if (!readBounded(
            platform.unitPath(QStringLiteral("/mnt/usb/") + name), maxImportFileBytes, &file, &truncated)
        || truncated || file.isEmpty())
        return { QLatin1String(corruptedText) };
    const QString deciphered = platform.unitPath(QLatin1String(decipheredPath));
    // A copy not written could be an older one left behind. It holds every
    // password in clear text.
    DurableWriter privateWriter(platform);
    privateWriter.writePrivately();
    if (!privateWriter.writeFile(deciphered, documentTextOf(file)))
        return { QStringLiteral("Import failed. Internal error.") };
    QByteArray documentText;
    if (!readBounded(deciphered, maxImportFileBytes, &documentText))
        malvo_syslog(3, "MainWindow: import file can not open %s", decipheredPath);

    plan = planImport(
        documentText, unit, context.isManaged(), context.guiSettings().currentPowerMode());
    if (plan.refused())
        return { plan.refusal };
    if (!storeImport(plan, storedInCopyA))
        return { QStringLiteral("Import failed. Can not write Local Configuration file.") };
    return { QString(), true };
}

bool SettingsTransfer::storeImport(const ImportPlan& plan, bool* storedInCopyA)
{
    DatabaseStorage& storage = context.storage();
    const QString copyA = QLatin1String(DatabaseStorage::copyAPath);
    if (context.isManaged()) {
        // The appliance owns a managed unit's database: only the GUI's own values are taken.
        storage.mirrorDatabaseFile(copyA);
        QHash<QString, QString> values { { QLatin1String(powerModeKey), plan.powerMode },
            { QLatin1String(autoLoginKey), plan.autoLoginUser },
            { QLatin1String(rememberedKey), plan.rememberedUser } };
        QDomDocument changed = context.document().cloneNode(true).toDocument();
        setMirroredValues(changed, values);
        if (!storage.writeCopy(copyA, changed)) {
            malvo_syslog(
                3, "MainWindow: Import can not open file for writing: %s", DatabaseStorage::copyAPath);
            return false;
        }
        *storedInCopyA = true;
        return true;
    }
    // Copy B is written only after copy A holds the import with its checksum,
    // so a failure leaves at least one copy as it was.
    if (!storage.writeCopy(copyA, plan.document)) {
        malvo_syslog(3, "MainWindow: Import can not open file for writing: %s", DatabaseStorage::copyAPath);
        return false;
    }
    storage.databasePath = storage.selectDatabaseFile();
    *storedInCopyA = storage.databasePath == copyA;
    if (*storedInCopyA && !storage.writeCopy(QLatin1String(DatabaseStorage::copyBPath), plan.document))
        malvo_syslog(3, "MainWindow: Import can not open file for writing: %s", DatabaseStorage::copyBPath);
    return true;
}

bool SettingsTransfer::applyNetwork(NetworkChoice choice, const UnitNetwork& unit)
{
    if (choice == NetworkChoice::Dhcp)
        return NetworkFiles::writeDhcpInterfaces(platform);
    if (choice == NetworkChoice::StaticRefused) {
        context.showWarning(QStringLiteral("Warning"),
            QStringLiteral("The unit's static address settings are not valid. The unit keeps DHCP."));
        return true;
    }
    if (choice != NetworkChoice::Static)
        return true;
    StaticSettings settings { unit.address, unit.mask, unit.gateway, unit.dns1, unit.dns2 };
    checkStaticSettings(settings);
    const QString interfaces = platform.unitPath(QLatin1String(interfacesPath));
    if (!writer.writeFile(interfaces,
            staticInterfacesText(settings.address, settings.mask,
                NetworkFiles::broadcastAddress(settings), settings.gateway))) {
        malvo_syslog(3, "MainWindow: can not open file for writing: %s.", interfacesPath);
        return false;
    }
    // The unit's search domain stays; only the servers come from its settings.
    const QString resolver = platform.unitPath(QLatin1String(resolverPath));
    QByteArray current;
    QByteArray search;
    readBounded(resolver, maxResolverBytes, &current);
    for (const QByteArray& line : current.split('\n'))
        if (search.isEmpty() && line.startsWith("search"))
            search = line + '\n';
    if (writer.writeFile(resolver, search + resolverText(settings.dns1, settings.dns2)))
        return true;
    malvo_syslog(3, "MainWindow: can not open file for writing: %s!", resolverPath);
    return false;
}

bool SettingsTransfer::applyGuiSettings(const ImportPlan& plan)
{
    const QStringList keys { QLatin1String(autoLoginKey), QLatin1String(powerModeKey),
        QLatin1String(rememberedKey) };
    const QStringList values { plan.autoLoginUser, plan.powerMode, plan.rememberedUser };
    QHash<QString, QString> current;
    context.guiSettings().readValues(keys, &current);
    QStringList lines;
    bool differs = false;
    for (int i = 0; i < keys.size(); ++i) {
        differs = differs || !current.contains(keys.at(i)) || current.value(keys.at(i)) != values.at(i);
        lines << keys.at(i) + QLatin1Char('=') + values.at(i);
    }
    if (!differs) {
        qDebug().noquote() << "GUI: Exported values write to gui_settings.cfg NOT required";
        return true;
    }
    const QString file = platform.unitPath(QLatin1String(GuiFiles::settingsPath));
    GuiFiles::openPermissions(file);
    if (writer.writeFile(file, GuiFiles::joinLines(lines)))
        return true;
    malvo_syslog(3, "MainWindow: Can not open file %s to write Exported values", GuiFiles::settingsPath);
    qDebug().noquote() << "GUI: Can't open gui_settings.cfg to write Exported values";
    return false;
}

void SettingsTransfer::applyPowerMode(const QString& mode)
{
    // The board is asked, not the settings file: the file was just rewritten.
    if (context.guiSettings().currentPowerMode() == mode) {
        qDebug().noquote() << "GUI: Exported power mode reset NOT required";
        return;
    }
    context.guiSettings().setBoardPowerMode(mode);
}

void SettingsTransfer::restoreFactoryDefaults()
{
    malvo_syslog(5, "MainWindow: Action Restore.\n");
    if (!confirmed(QStringLiteral("Restore"),
            QStringLiteral(
                "Are you sure you want to restore the factory default configuration? The unit will "
                "reboot.")))
        return;
    // The unit comes back on DHCP, and its database says so: an import
    // after the restore then applies the file's choice.
    QDomDocument fresh = newDatabaseDocument();
    writeUnitSetting(fresh, UnitSetting::DhcpChecked, QStringLiteral("true"));
    writeUnitSetting(fresh, UnitSetting::StaticChecked, QStringLiteral("false"));
    DatabaseStorage& storage = context.storage();
    const KeptFiles kept(platform,
        { DatabaseStorage::copyAPath, DatabaseStorage::copyBPath, DatabaseStorage::checksumAPath,
            DatabaseStorage::checksumBPath, GuiFiles::settingsPath, GuiFiles::authenticationStatPath,
            interfacesPath },
        maxDatabaseBytes);
    const QDomDocument document = storage.document;
    const QString databasePath = storage.databasePath;
    bool written = storage.createNewDatabase(fresh);
    const struct {
        const char* path;
        QStringList lines;
    } defaults[] = { { GuiFiles::settingsPath, context.guiSettings().defaultLines() },
        { GuiFiles::authenticationStatPath, StatisticsReporter::defaultLines() } };
    for (const auto& file : defaults) {
        const QString path = platform.unitPath(QLatin1String(file.path));
        if (written && !writer.writeFile(path, GuiFiles::joinLines(file.lines))) {
            malvo_syslog(3, "MainWindow: Can not open file %s to write Default values", file.path);
            written = false;
        }
    }
    if (!written || !NetworkFiles::writeDhcpInterfaces(platform)) {
        // The logged-on unit goes on with its users, on disk and in memory.
        putBack(kept, writer);
        storage.document = document;
        storage.databasePath = databasePath;
        context.showWarning(QStringLiteral("Error"), QStringLiteral("Restore failed. Internal error."));
        return;
    }
    context.storage().reloadDatabase();
    context.reboot();
}
