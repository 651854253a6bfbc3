#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/platform.h"

class SimUnit;

// The programs and firmware scripts of the simulated unit, built in: each is
// matched by its path or its name and acts on the unit root. Every call is
// recorded first. Nothing is ever executed from the unit root, and a program
// that is not built in is not started.
class SimPrograms {
public:
    explicit SimPrograms(SimUnit& unit);

    // timeoutMs: the caller's time limit (negative: none); a program that
    // hangs on this unit is ended after it, as the real runner kills it.
    ProgramResult run(const QString& program, const QStringList& arguments, int timeoutMs = -1);

private:
    using Handler = ProgramResult (SimPrograms::*)(const QStringList&);
    static Handler handlerFor(const QString& name);

    // Standard tools.
    ProgramResult touch(const QStringList& args);
    ProgramResult sync(const QStringList& args);
    ProgramResult mount(const QStringList& args);
    ProgramResult umount(const QStringList& args);
    ProgramResult route(const QStringList& args);
    ProgramResult killall(const QStringList& args);
    ProgramResult reboot(const QStringList& args);
    ProgramResult logger(const QStringList& args);
    ProgramResult rm(const QStringList& args);
    ProgramResult cp(const QStringList& args);

    // Firmware programs and scripts.
    ProgramResult checkPowerButtonMode(const QStringList& args);
    ProgramResult setPowerButtonMode(const QStringList& args);
    ProgramResult restapiCli(const QStringList& args);
    ProgramResult flushEth0(const QStringList& args);
    ProgramResult flashLed(const QStringList& args);
    ProgramResult resetHub(const QStringList& args);
    ProgramResult loadKeymap(const QStringList& args);
    ProgramResult diagnostics(const QStringList& args);
    ProgramResult rxDatabase(const QStringList& args);
    ProgramResult validateUpgradePackage(const QStringList& args);

    // Upgrade packages ("--lsm", "--target DIR").
    bool isPackage(const QString& program, QByteArray* bytes) const;
    ProgramResult runPackage(const QByteArray& bytes, const QStringList& args);

    static ProgramResult exited(int code, const QByteArray& output = QByteArray());
    // Holds a script on a real thread while <root>/sim/hold/<name> exists (at
    // most 30 s), so tests can catch a background job in the middle.
    void holdWhileGated(const QString& name);
    // A package whose map run hangs, per the unit's state.
    bool packageHangs() const;
    int timeoutMs = -1;
    bool touchFile(const QString& unitPath);

    SimUnit& unit;
};
