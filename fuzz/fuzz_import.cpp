// A settings import reads a file from a USB stick: any bytes, as an export
// file or as the document inside one, must end in a plan or in one of the
// unit's refusals, never in a crash, a hang or a plan without "admin".
#include "database/configtransfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    ConfigTransfer::UnitNetwork unit { QStringLiteral("false"), QStringLiteral("true"),
        QStringLiteral("10.0.0.5"), QStringLiteral("255.255.255.0"), QStringLiteral("10.0.0.1"), QString(),
        QString() };
    for (const QByteArray& text : { input, ConfigTransfer::documentTextOf(input) }) {
        for (const bool managed : { false, true }) {
            const ConfigTransfer::ImportPlan plan
                = ConfigTransfer::planImport(text, unit, managed, QStringLiteral("Manual"));
            if (plan.refused())
                continue;
            if (!plan.users.contains(QStringLiteral("admin")))
                __builtin_trap();
            ConfigTransfer::describePlan(plan);
        }
    }
    return 0;
}
