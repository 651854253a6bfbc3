// The directory settings file as an administrator or an attacker may leave
// it: any bytes are judged without a crash, what is taken is a usable and
// safe set, and a typed name never escapes from its place in a filter or DN.
#include "directoryconfig.h"

#include <ctype.h>
#include <stdint.h>
#include <string.h>

// `hexOnly`: every backslash starts two hex digits (a filter); otherwise it
// escapes the one character after it (a DN).
static bool escapedSafely(const QByteArray& escaped, const char* forbidden, bool hexOnly)
{
    for (int i = 0; i < escaped.size(); ++i) {
        const char c = escaped.at(i);
        if (c == '\\') {
            if (i + (hexOnly ? 2 : 1) >= escaped.size())
                return false;
            if (hexOnly && (!isxdigit(uchar(escaped.at(i + 1))) || !isxdigit(uchar(escaped.at(i + 2)))))
                return false;
            i += hexOnly ? 2 : 1;
            continue;
        }
        if (uchar(c) < 0x20 || strchr(forbidden, c))
            return false;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    for (const bool ownerOnly : { false, true }) {
        QString reason;
        const std::optional<DirectoryConfig> config = parseDirectoryConfig(input, ownerOnly, &reason);
        if (!config) {
            if (reason.isEmpty())
                __builtin_trap(); // a refusal always says why
            continue;
        }
        if (config->uri.isEmpty() || config->base.isEmpty()
            || config->userFilter.isEmpty() == config->userDn.isEmpty())
            __builtin_trap();
        if (!config->usesTls() && !config->allowPlain)
            __builtin_trap(); // passwords in the clear nobody asked for
        if (!ownerOnly && !config->bindPassword.isEmpty())
            __builtin_trap(); // a secret in a file others read
        if (config->timeoutSeconds < 1 || config->timeoutSeconds > 120)
            __builtin_trap();
    }
    // Inside a filter value no byte may open, close or wildcard; inside a DN
    // value no separator may start a new attribute or RDN.
    const QByteArray filter = escapeFilterValue(input);
    if (!escapedSafely(filter, "*()", true) || filter.contains('\0'))
        __builtin_trap();
    const QByteArray dn = escapeDnValue(input);
    if (!escapedSafely(dn, ",+\"<>;=", false) || dn.contains('\0'))
        __builtin_trap();
    return 0;
}
