// The unit's own firmware programs and scripts, and upgrade packages, as the
// simulated unit runs them.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

#include "platform/boundedread.h"
#include "simosdmode.h"
#include "simpackage.h"
#include "simprograms.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

namespace {
void setProcessRunning(QJsonObject& state, const QString& name, bool running)
{
    QJsonArray processes = state.value(QStringLiteral("processes")).toArray();
    for (int i = processes.size() - 1; i >= 0; --i)
        if (processes.at(i).toString() == name)
            processes.removeAt(i);
    if (running)
        processes.append(name);
    state.insert(QStringLiteral("processes"), processes);
}
}

ProgramResult SimPrograms::checkPowerButtonMode(const QStringList&)
{
    return exited(0, unit.state().value(QStringLiteral("powerButtonMode")).toString().toLatin1() + '\n');
}

ProgramResult SimPrograms::setPowerButtonMode(const QStringList& args)
{
    const QString mode = args.value(0);
    if (args.size() != 1 || (mode != QLatin1String("SIGNAGE") && mode != QLatin1String("DESKTOP")))
        return exited(1);
    unit.editState([&](QJsonObject& state) { state.insert(QStringLiteral("powerButtonMode"), mode); });
    return exited(0);
}

ProgramResult SimPrograms::restapiCli(const QStringList& args)
{
    return exited(args.isEmpty() ? 1 : 0);
}

// Applies /usr/local/interfaces to eth0, as the unit's network restart does.
ProgramResult SimPrograms::flushEth0(const QStringList&)
{
    QFile in(unit.path(QStringLiteral("/usr/local/interfaces")));
    if (!in.open(QIODevice::ReadOnly))
        return exited(1);
    QString method;
    QHash<QString, QString> values;
    for (const QByteArray& raw : readBounded(in, maxTextFileBytes).split('\n')) {
        const QStringList words
            = QString::fromLatin1(raw).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() >= 4 && words.at(0) == QLatin1String("iface")
            && words.at(1) == QLatin1String("eth0"))
            method = words.at(3);
        else if (words.size() >= 2 && !method.isEmpty())
            values.insert(words.at(0), words.at(1));
    }
    if (method != QLatin1String("dhcp") && method != QLatin1String("static"))
        return exited(1);
    if (method == QLatin1String("static") && values.value(QStringLiteral("address")).isEmpty())
        return exited(1);

    QStringList leaseDns;
    unit.editState([&](QJsonObject& state) {
        QJsonObject network = child(state, QStringLiteral("network"));
        QJsonObject eth0 = child(network, QStringLiteral("eth0"));
        eth0.insert(QStringLiteral("up"), true);
        if (method == QLatin1String("static")) {
            eth0.insert(QStringLiteral("address"), values.value(QStringLiteral("address")));
            eth0.insert(QStringLiteral("netmask"), values.value(QStringLiteral("netmask")));
            eth0.insert(QStringLiteral("gateway"), values.value(QStringLiteral("gateway")));
            setProcessRunning(state, QStringLiteral("udhcpc"), false);
        } else {
            const QJsonObject lease = child(network, QStringLiteral("dhcp"));
            const bool offered = lease.value(QStringLiteral("available")).toBool();
            eth0.insert(QStringLiteral("address"),
                offered ? lease.value(QStringLiteral("address")).toString() : QString());
            eth0.insert(QStringLiteral("netmask"),
                offered ? lease.value(QStringLiteral("netmask")).toString() : QString());
            eth0.insert(QStringLiteral("gateway"),
                offered ? lease.value(QStringLiteral("gateway")).toString() : QString());
            if (offered)
                for (const QJsonValue& dns : lease.value(QStringLiteral("dns")).toArray())
                    leaseDns << dns.toString();
            setProcessRunning(state, QStringLiteral("udhcpc"), true);
        }
        network.insert(QStringLiteral("eth0"), eth0);
        state.insert(QStringLiteral("network"), network);
    });
    if (!leaseDns.isEmpty()) {
        QByteArray resolver;
        for (const QString& dns : leaseDns)
            resolver += "nameserver " + dns.toLatin1() + '\n';
        writeWhole(unit.path(QStringLiteral("/usr/local/resolv.conf")), resolver);
    }
    return exited(0);
}

ProgramResult SimPrograms::flashLed(const QStringList& args)
{
    const QString action = args.value(0);
    if (action != QLatin1String("start") && action != QLatin1String("stop"))
        return exited(1);
    unit.editState([&](QJsonObject& state) {
        state.insert(QStringLiteral("led"),
            action == QLatin1String("start") ? QStringLiteral("flashing") : QStringLiteral("off"));
    });
    return exited(0);
}

ProgramResult SimPrograms::resetHub(const QStringList&)
{
    unit.editState([](QJsonObject& state) {
        state.insert(QStringLiteral("hubResets"), state.value(QStringLiteral("hubResets")).toInt() + 1);
    });
    return exited(0);
}

ProgramResult SimPrograms::loadKeymap(const QStringList&)
{
    QFile in(unit.path(QStringLiteral("/mnt/perm/keymap")));
    const QString keymap
        = in.open(QIODevice::ReadOnly) ? QString::fromLatin1(in.readLine(256)).trimmed() : QString();
    unit.editState([&](QJsonObject& state) {
        state.insert(QStringLiteral("keymapLoads"), state.value(QStringLiteral("keymapLoads")).toInt() + 1);
        state.insert(QStringLiteral("keymap"), keymap);
    });
    return exited(0);
}

ProgramResult SimPrograms::diagnostics(const QStringList&)
{
    holdWhileGated(QStringLiteral("diagnostics.sh"));
    unit.workDelay(QStringLiteral("diagnostics.sh"));
    const QByteArray content = unit.state().value(QStringLiteral("diagnosticsRx")).toString().toLatin1();
    return exited(writeWhole(unit.path(QStringLiteral("/usr/local/diagnosticsRX.enc")), content) ? 0 : 1);
}

// SELECT FIELD TABLE prints the value; UPDATE FIELD TABLE VALUE stores it.
ProgramResult SimPrograms::rxDatabase(const QStringList& args)
{
    const QString verb = args.value(0);
    const QString field = args.value(1);
    const QString table = args.value(2);
    if (field.isEmpty() || table.isEmpty())
        return exited(2);
    if (verb == QLatin1String("SELECT") && args.size() == 3) {
        const QJsonValue value = child(child(unit.state(), QStringLiteral("rxDatabase")), table).value(field);
        if (value.isUndefined())
            return exited(1);
        return exited(0, value.toVariant().toString().toLatin1() + '\n');
    }
    if (verb == QLatin1String("UPDATE") && args.size() >= 4) {
        const QString value = args.mid(3).join(QLatin1Char(' '));
        unit.editSection(QStringLiteral("rxDatabase"), [&](QJsonObject& database) {
            QJsonObject rows = child(database, table);
            rows.insert(field, value);
            database.insert(table, rows);
        });
        if (table == QLatin1String("System") && field == QLatin1String("OSDResolution"))
            applyOsdResolution(unit, value);
        return exited(0);
    }
    return exited(2);
}

ProgramResult SimPrograms::validateUpgradePackage(const QStringList& args)
{
    holdWhileGated(QStringLiteral("validate_upgrade_package.sh"));
    unit.workDelay(QStringLiteral("validate_upgrade_package.sh"));
    const QString package = unit.pathInside(args.value(0));
    QFile in(package);
    if (package.isEmpty() || !in.open(QIODevice::ReadOnly))
        return exited(1, "Verification Failure: cannot read " + args.value(0).toLatin1() + '\n');
    const bool genuine = SimPackage::parse(readBounded(in, maxPackageBytes), nullptr)
        && child(unit.state(), QStringLiteral("upgrade"))
               .value(QStringLiteral("signatureValid"))
               .toBool(true);
    touchFile(QStringLiteral("/tmp/signature_done"));
    return exited(
        0, genuine ? QByteArrayLiteral("Verified OK\n") : QByteArrayLiteral("Verification Failure\n"));
}

bool SimPrograms::isPackage(const QString& program, QByteArray* bytes) const
{
    if (!program.contains(QLatin1Char('/')) && !program.endsWith(QLatin1String(".clu")))
        return false;
    QFile in(unit.pathInside(program));
    if (!QFileInfo(in.fileName()).isFile() || !in.open(QIODevice::ReadOnly))
        return false;
    *bytes = readBounded(in, maxPackageBytes);
    return SimPackage::parse(*bytes, nullptr);
}

ProgramResult SimPrograms::runPackage(const QByteArray& bytes, const QStringList& args)
{
    SimPackage package;
    SimPackage::parse(bytes, &package);
    if (args.contains(QStringLiteral("--lsm"))) {
        if (packageHangs()) {
            // It never ends by itself: only the caller's limit stops it, and
            // without one an hour stands for never.
            ProgramResult hung;
            hung.started = true;
            hung.timedOut = timeoutMs >= 0;
            unit.sleepMs(timeoutMs >= 0 ? timeoutMs : 3600 * 1000);
            return hung;
        }
        return exited(0, package.mapText());
    }

    const int targetAt = args.indexOf(QStringLiteral("--target"));
    if (targetAt < 0 || targetAt + 1 >= args.size())
        return exited(1, "Usage: package --lsm | --target DIR [--ssl-pass-src pass:PHRASE]\n");

    if (package.value(QStringLiteral("Encryption")).contains(QLatin1String("On"))) {
        const int passAt = args.indexOf(QStringLiteral("--ssl-pass-src"));
        // A package sealed with another phrase than the unit holds can be described.
        const QJsonValue sealed = child(unit.state(), QStringLiteral("upgrade")).value(QStringLiteral("packagePassPhrase"));
        const QString phrase = sealed.isString()
            ? sealed.toString()
            : child(child(unit.state(), QStringLiteral("identity")), QStringLiteral("store"))
                  .value(QStringLiteral("2"))
                  .toString();
        if (passAt < 0 || args.value(passAt + 1) != QStringLiteral("pass:") + phrase)
            return exited(1, "bad decrypt\n");
    }

    const QString extraction
        = child(unit.state(), QStringLiteral("upgrade")).value(QStringLiteral("extraction")).toString();
    if (extraction == QLatin1String("fails"))
        return exited(1, "extraction failed\n");
    const QString target = unit.pathInside(args.at(targetAt + 1));
    if (target.isEmpty() || !QDir().mkpath(target))
        return exited(1);
    const QString version = package.value(QStringLiteral("Software-Version"));
    for (const QString& file : package.files) {
        const QString cleaned = QDir::cleanPath(file);
        if (cleaned.startsWith(QLatin1Char('/')) || cleaned == QLatin1String("..")
            || cleaned.startsWith(QLatin1String("../")))
            continue; // an archive member never lands outside its target
        writeWhole(target + QLatin1Char('/') + cleaned,
            "simulated " + cleaned.toLatin1() + " of " + version.toLatin1() + '\n');
    }
    // "never": the files land but the extraction never reports completion.
    if (extraction != QLatin1String("never"))
        touchFile(QStringLiteral("/tmp/upgrade_complete"));
    return exited(0);
}
