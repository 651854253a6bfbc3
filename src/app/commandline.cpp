#include "commandline.h"

#include <unistd.h>

const char* disconnectReasonFromArguments(int argc, char* argv[])
{
    const char* reason = nullptr;
    opterr = 0;
    optind = 0; // a full restart of the parser, should it have run before
    for (int option; (option = getopt(argc, argv, "e:")) != -1;) {
        if (option == 'e')
            reason = optarg;
    }
    return reason;
}

QString displayPlatformName(const QStringList& arguments, const QString& environment)
{
    QString name = environment;
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("-platform") || arguments.at(i) == QLatin1String("--platform"))
            name = arguments.at(++i);
    }
    return name.section(QLatin1Char(';'), 0, 0).section(QLatin1Char(':'), 0, 0);
}
