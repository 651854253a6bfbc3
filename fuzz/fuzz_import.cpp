// A settings import reads a file from a USB stick: any bytes, as an export
// file or as the document inside one, must end in a plan or in one of the
// unit's refusals, never in a crash, a hang, a plan without "admin" or a
// document deeper than the bound or stored in another form than UTF-8.
#include "database/configtransfer.h"
#include "database/schema.h"

namespace {

int depthOf(const QDomNode& node)
{
    int deepest = 0;
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling())
        deepest = qMax(deepest, depthOf(child));
    return deepest + (node.isElement() ? 1 : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    ConfigTransfer::UnitNetwork unit { QStringLiteral("false"), QStringLiteral("true"),
        QStringLiteral("10.0.0.5"), QStringLiteral("255.255.255.0"), QStringLiteral("10.0.0.1"), QString(),
        QString() };
    for (const QByteArray& text : { input, ConfigTransfer::documentTextOf(input) }) {
        QDomDocument read;
        if (readDatabaseText(text, read)
            && (depthOf(read) > maxDocumentDepth || databaseText(read).startsWith("<?xml")))
            __builtin_trap();
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
