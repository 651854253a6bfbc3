// The launch script the supervisor reads back from the unit's /tmp: any bytes
// must be judged without a crash; a script that reads must read the same when
// written again; and no value may become an option of the client it starts.
#include "launchscript.h"
#include "sessionclients.h"

#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    ClientEnd end;
    end.errorTail = input;
    disconnectReason(QStringLiteral("vnc"), end);

    const std::optional<LaunchRequest> request = parseLaunchScript(input);
    if (!request)
        return 0;
    const std::optional<LaunchRequest> again = parseLaunchScript(launchScriptText(QStringLiteral("p"), *request));
    if (!again || again->type != request->type || again->options != request->options
        || again->hotkey != request->hotkey)
        __builtin_trap();

    SessionPlaces places { QStringLiteral("/dev/fd/3"), QStringLiteral("/k"), QStringLiteral("/s"),
        QStringLiteral("velmo-session") };
    const ClientCommand command = clientCommand(*request, places);
    // The address is the first word of xfreerdp and the last of vncviewer and ssh.
    if (command.program == QLatin1String("xfreerdp") ? !command.arguments.first().startsWith(QLatin1String("/v:"))
                                                     : !command.program.isEmpty() && command.arguments.last().startsWith(QLatin1Char('-')))
        __builtin_trap();
    return 0;
}
