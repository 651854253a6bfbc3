#include "simprograms.h"
#include "platform/boundedread.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>

#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

namespace {
QStringList operands(const QStringList& args)
{
    QStringList result;
    for (const QString& arg : args)
        if (!arg.startsWith(QLatin1Char('-')))
            result << arg;
    return result;
}

bool hasOption(const QStringList& args, QChar letter)
{
    for (const QString& arg : args)
        if (arg.startsWith(QLatin1Char('-')) && !arg.startsWith(QLatin1String("--")) && arg.contains(letter))
            return true;
    return false;
}

QString padded(const QString& text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '));
}

int syslogLevel(const QString& priority)
{
    bool isNumber = false;
    const int number = priority.toInt(&isNumber);
    if (isNumber)
        return number & 7;
    static const QHash<QString, int> levels { { QStringLiteral("emerg"), 0 }, { QStringLiteral("alert"), 1 },
        { QStringLiteral("crit"), 2 }, { QStringLiteral("err"), 3 }, { QStringLiteral("error"), 3 },
        { QStringLiteral("warning"), 4 }, { QStringLiteral("warn"), 4 }, { QStringLiteral("notice"), 5 },
        { QStringLiteral("info"), 6 }, { QStringLiteral("debug"), 7 } };
    return levels.value(priority.section(QLatin1Char('.'), -1), 5);
}
}

SimPrograms::SimPrograms(SimUnit& unit)
    : unit(unit)
{
}

SimPrograms::Handler SimPrograms::handlerFor(const QString& name)
{
    static const QHash<QString, Handler> handlers {
        { QStringLiteral("touch"), &SimPrograms::touch },
        { QStringLiteral("sync"), &SimPrograms::sync },
        { QStringLiteral("mount"), &SimPrograms::mount },
        { QStringLiteral("umount"), &SimPrograms::umount },
        { QStringLiteral("route"), &SimPrograms::route },
        { QStringLiteral("killall"), &SimPrograms::killall },
        { QStringLiteral("reboot"), &SimPrograms::reboot },
        { QStringLiteral("logger"), &SimPrograms::logger },
        { QStringLiteral("rm"), &SimPrograms::rm },
        { QStringLiteral("cp"), &SimPrograms::cp },
        { QStringLiteral("check_power_button_mode"), &SimPrograms::checkPowerButtonMode },
        { QStringLiteral("set_power_button_mode"), &SimPrograms::setPowerButtonMode },
        { QStringLiteral("restapi_cli"), &SimPrograms::restapiCli },
        { QStringLiteral("flush_eth0.sh"), &SimPrograms::flushEth0 },
        { QStringLiteral("flash_led.sh"), &SimPrograms::flashLed },
        { QStringLiteral("reset_hub.sh"), &SimPrograms::resetHub },
        { QStringLiteral("loadkeymap.sh"), &SimPrograms::loadKeymap },
        { QStringLiteral("diagnostics.sh"), &SimPrograms::diagnostics },
        { QStringLiteral("rx_database.sh"), &SimPrograms::rxDatabase },
        { QStringLiteral("validate_upgrade_package.sh"), &SimPrograms::validateUpgradePackage },
    };
    return handlers.value(name, nullptr);
}

ProgramResult SimPrograms::exited(int code, const QByteArray& output)
{
    ProgramResult result;
    result.started = true;
    result.exitCode = code;
    result.output = output;
    return result;
}

ProgramResult SimPrograms::run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    this->timeoutMs = timeoutMs;
    unit.recordCommand(QStringList { program } + arguments);

    QByteArray packageBytes;
    const bool package = isPackage(program, &packageBytes);
    const Handler handler = package ? nullptr : handlerFor(program.section(QLatin1Char('/'), -1));
    if (!package && !handler)
        return ProgramResult();

    int failure = unit.failure(program);
    if (failure == 0 && package)
        failure = unit.failure(QStringLiteral("package"));
    if (failure < 0)
        return ProgramResult();
    if (failure > 0)
        return exited(failure);
    return package ? runPackage(packageBytes, arguments) : (this->*handler)(arguments);
}

bool SimPrograms::touchFile(const QString& unitPath)
{
    const QString file = unit.pathInside(unitPath);
    if (file.isEmpty() || !QFileInfo(QFileInfo(file).absolutePath()).isDir())
        return false;
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    out.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    return true;
}

ProgramResult SimPrograms::touch(const QStringList& args)
{
    int code = 0;
    for (const QString& file : operands(args))
        if (!touchFile(file))
            code = 1;
    return exited(code);
}

ProgramResult SimPrograms::sync(const QStringList&)
{
    return exited(0);
}

ProgramResult SimPrograms::mount(const QStringList& args)
{
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("-t") || args.at(i) == QLatin1String("-o"))
            ++i;
        else if (!args.at(i).startsWith(QLatin1Char('-')))
            rest << args.at(i);
    }
    if (rest.isEmpty()) {
        QFile mounts(unit.path(QStringLiteral("/proc/mounts")));
        mounts.open(QIODevice::ReadOnly);
        return exited(0, readBounded(mounts, maxTextFileBytes));
    }
    if (rest.size() != 2 || rest.at(0) != QLatin1String("/dev/sda1")
        || QDir::cleanPath(rest.at(1)) != QLatin1String("/mnt/usb"))
        return exited(32);
    return exited(unit.mountUsb());
}

ProgramResult SimPrograms::umount(const QStringList& args)
{
    const QStringList rest = operands(args);
    if (rest.size() != 1)
        return exited(1);
    const QString target = QDir::cleanPath(rest.first());
    if (target != QLatin1String("/mnt/usb") && target != QLatin1String("/dev/sda1"))
        return exited(32);
    return exited(unit.unmountUsb());
}

ProgramResult SimPrograms::route(const QStringList&)
{
    QByteArray table = "Kernel IP routing table\n"
                       "Destination     Gateway         Genmask         Flags Metric Ref    Use Iface\n";
    const QJsonObject eth0 = child(child(unit.state(), QStringLiteral("network")), QStringLiteral("eth0"));
    const SimServices::Ipv4 address = SimServices::parseIpv4(eth0.value(QStringLiteral("address")).toString());
    const SimServices::Ipv4 mask = SimServices::parseIpv4(eth0.value(QStringLiteral("netmask")).toString());
    const SimServices::Ipv4 gateway = SimServices::parseIpv4(eth0.value(QStringLiteral("gateway")).toString());
    const bool live = eth0.value(QStringLiteral("up")).toBool() && eth0.value(QStringLiteral("running")).toBool()
        && address;
    if (!live)
        return exited(0, table);

    auto line
        = [](const QString& destination, const QString& via, const QString& genmask, const QString& flags) {
              return (padded(destination, 15) + QLatin1Char(' ') + padded(via, 15) + QLatin1Char(' ')
                  + padded(genmask, 15) + QLatin1Char(' ') + padded(flags, 5)
                  + QStringLiteral(" 0      0        0 eth0\n"))
                  .toLatin1();
          };
    const QString any = QStringLiteral("0.0.0.0");
    if (gateway && gateway.value != 0)
        table += line(any, SimServices::ipv4Text(gateway.value), any, QStringLiteral("UG"));
    table += line(SimServices::ipv4Text(address.value & mask.value), any, SimServices::ipv4Text(mask.value),
        QStringLiteral("U"));
    return exited(0, table);
}

ProgramResult SimPrograms::killall(const QStringList& args)
{
    QString signal = QStringLiteral("TERM");
    QStringList names;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("-s") && i + 1 < args.size())
            signal = args.at(++i);
        else if (arg.startsWith(QLatin1Char('-')))
            signal = arg.mid(1);
        else
            names << arg;
    }
    if (signal.startsWith(QLatin1String("SIG")))
        signal = signal.mid(3);
    const bool ends = signal == QLatin1String("TERM") || signal == QLatin1String("KILL")
        || signal == QLatin1String("9") || signal == QLatin1String("15") || signal == QLatin1String("INT");
    int code = names.isEmpty() ? 1 : 0;
    unit.editState([&](QJsonObject& state) {
        QJsonArray processes = state.value(QStringLiteral("processes")).toArray();
        for (const QString& name : names) {
            bool found = false;
            for (int i = processes.size() - 1; i >= 0; --i) {
                if (processes.at(i).toString() != name)
                    continue;
                found = true;
                if (ends)
                    processes.removeAt(i);
            }
            if (!found)
                code = 1;
        }
        state.insert(QStringLiteral("processes"), processes);
    });
    return exited(code);
}

ProgramResult SimPrograms::reboot(const QStringList&)
{
    QString pendingVersion;
    unit.editState([&](QJsonObject& state) {
        state.insert(QStringLiteral("reboots"), state.value(QStringLiteral("reboots")).toInt() + 1);
        QJsonObject upgrade = child(state, QStringLiteral("upgrade"));
        pendingVersion = upgrade.value(QStringLiteral("pendingVersion")).toString();
        upgrade.insert(QStringLiteral("pendingVersion"), QString());
        state.insert(QStringLiteral("upgrade"), upgrade);
    });
    // An installed release becomes the running one at the restart.
    if (!pendingVersion.isEmpty())
        writeWhole(unit.path(QStringLiteral("/VERSION")), pendingVersion.toLatin1() + '\n');
    return exited(0);
}

ProgramResult SimPrograms::logger(const QStringList& args)
{
    int priority = 5;
    QStringList words;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("-p") && i + 1 < args.size())
            priority = syslogLevel(args.at(++i));
        else if ((arg == QLatin1String("-t") || arg == QLatin1String("--tag")) && i + 1 < args.size())
            ++i;
        else if (!arg.startsWith(QLatin1Char('-')) || !words.isEmpty())
            words << arg;
    }
    // Without a message logger would read standard input, which a run never has.
    if (!words.isEmpty())
        unit.recordLog(priority, words.join(QLatin1Char(' ')));
    return exited(0);
}

ProgramResult SimPrograms::rm(const QStringList& args)
{
    const bool recursive = hasOption(args, QLatin1Char('r')) || hasOption(args, QLatin1Char('R'));
    const bool force = hasOption(args, QLatin1Char('f'));
    int code = 0;
    for (const QString& operand : operands(args)) {
        const QString target = unit.pathInside(operand);
        // The root itself and the simulator's own folder are never removed.
        if (target.isEmpty() || target == unit.root() || target == unit.root() + QStringLiteral("/sim")
            || target.startsWith(unit.root() + QStringLiteral("/sim/"))) {
            code = 1;
            continue;
        }
        const QFileInfo info(target);
        if (!info.exists() && !info.isSymLink()) {
            if (!force)
                code = 1;
            continue;
        }
        if (info.isDir() && !info.isSymLink()) {
            if (!recursive || !QDir(target).removeRecursively())
                code = 1;
        } else if (!QFile::remove(target)) {
            code = 1;
        }
    }
    return exited(code);
}

ProgramResult SimPrograms::cp(const QStringList& args)
{
    const QStringList files = operands(args);
    if (files.size() != 2)
        return exited(1);
    const QString source = unit.pathInside(files.at(0));
    QString target = unit.pathInside(files.at(1));
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isFile())
        return exited(1);
    if (QFileInfo(target).isDir())
        target += QLatin1Char('/') + QFileInfo(source).fileName();
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath())
        return exited(1);
    QFile::remove(target);
    // A stick pulled or full part-way: some bytes land, then cp fails.
    const int failAfter = child(unit.state(), QStringLiteral("cp")).value(QStringLiteral("failAfterBytes")).toInt(-1);
    if (failAfter >= 0) {
        QFile in(source);
        QFile out(target);
        if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly))
            out.write(in.read(failAfter));
        return exited(1);
    }
    return exited(QFile::copy(source, target) ? 0 : 1);
}
