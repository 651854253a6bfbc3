#pragma once

#include <QStringList>

// The disconnect reason given with "-e" (the last one wins), or null when
// there is none; every other option is ignored. Qt's own options must have
// been taken out of argv already (QApplication does that).
const char* disconnectReasonFromArguments(int argc, char* argv[]);

// The display platform Qt's application start will use, as Qt reads it: the
// value of "-platform" (or "--platform") in `arguments`, else `environment`
// (QT_QPA_PLATFORM); of a list ("a;b") the first, without its options
// ("vnc:port=5900" is "vnc"). Empty when neither names one.
QString displayPlatformName(const QStringList& arguments, const QString& environment);
