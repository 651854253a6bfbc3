// velmo-config: the unit's export files on an ordinary computer. Deciphers an
// export, enciphers a document the way the unit exports it, and tells what an
// import would keep or drop, with the unit's own cipher and rules.
#include "database/configtransfer.h"
#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/linuxplatform.h"

#include "database/schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {

enum Exit { Success = 0, Refused = 1, BadUsage = 2 };

const char usageText[]
    = "Usage: velmo-config COMMAND FILE [-o OUTPUT]\n"
      "\n"
      "  decrypt FILE.ccfg   write the configuration document inside an export file\n"
      "  encrypt FILE.xml    write an export file of a configuration document, as the unit exports it\n"
      "  check FILE.ccfg|FILE.xml\n"
      "                      run the unit's import checks and tell what an import would keep or drop\n"
      "\n"
      "  FILE may be - for standard input, a link or a pipe (read once a program writes into it).\n"
      "  -o OUTPUT           write to OUTPUT instead of standard output (- is standard output): a file\n"
      "                      is replaced whole, a device or a pipe someone reads from is written into,\n"
      "                      also through a link; a link to a file is refused. A decrypted document\n"
      "                      is readable by its owner alone\n"
      "  -h, --help          show this text\n"
      "\n"
      "Exit status: 0 success, 1 a file the unit would refuse (its message on standard error)\n"
      "or an output that could not be written, 2 bad usage or an input that can not be read.\n";

int usage(const char* problem)
{
    std::fprintf(stderr, "velmo-config: %s\n\n%s", problem, usageText);
    return BadUsage;
}

int refuse(const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return Refused;
}

// The library's own diagnostics (cipher warnings, removal traces) are not the
// tool's output.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// This is the engineer's own computer: links, pipes and standard input are
// read, only within the bound of an import.
bool readInput(const QString& input, QByteArray& bytes, bool& truncated, QString& reason)
{
    QFile file;
    const bool opened = input == QLatin1String("-")
        ? file.open(stdin, QIODevice::ReadOnly)
        : (file.setFileName(input), file.open(QIODevice::ReadOnly));
    if (!opened || QFileInfo(input).isDir()) {
        reason = opened ? QStringLiteral("it is a folder") : file.errorString();
        return false;
    }
    bytes = readBounded(file, ConfigTransfer::maxImportFileBytes, &truncated);
    return true;
}

// A regular file is replaced whole and a device or a pipe written into, also
// through a link. A link to a file is refused, never replaced: it may well be
// someone else's, and a file of clear passwords must not land where it points.
bool writeOutput(const QString& output, const QByteArray& result, bool privately, QString& reason)
{
    const QFileInfo info(output);
    if (info.isDir()) {
        reason = QStringLiteral("it is a folder");
        return false;
    }
    if (info.isSymLink() && (info.isFile() || !info.exists())) {
        reason = QStringLiteral("it is a link to a file: name the file itself");
        return false;
    }
    if (info.isFile() || !info.exists()) {
        LinuxPlatform platform;
        DurableWriter writer(platform);
        if (privately)
            writer.writePrivately();
        if (writer.writeFile(info.absoluteFilePath(), result))
            return true;
        reason = QStringLiteral("the file can not be replaced");
        return false;
    }
    return writeIntoStream(output, result, &reason);
}
} // namespace

int main(int argc, char* argv[])
{
    // The same document always serializes to the same bytes.
    qSetGlobalQHashSeed(0);
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietMessages);

    QStringList operands;
    QString output;
    bool outputGiven = false;
    const QStringList arguments = app.arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            std::fputs(usageText, stdout);
            return Success;
        }
        if (argument == QLatin1String("-o")) {
            if (i + 1 >= arguments.size() || outputGiven || arguments.at(i + 1).isEmpty())
                return usage("-o needs one output file");
            output = arguments.at(++i);
            outputGiven = true;
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            return usage("unknown option");
        } else {
            operands << argument;
        }
    }
    if (operands.size() != 2)
        return usage("give one command and one file");
    const QString command = operands.at(0);
    const QString input = operands.at(1);
    if (command != QLatin1String("decrypt") && command != QLatin1String("encrypt")
        && command != QLatin1String("check"))
        return usage("unknown command");

    QByteArray bytes;
    bool truncated = false;
    QString reason;
    if (!readInput(input, bytes, truncated, reason)) {
        std::fprintf(stderr, "velmo-config: can not read %s: %s\n", input.toLocal8Bit().constData(),
            reason.toLocal8Bit().constData());
        return BadUsage;
    }
    if (truncated || bytes.isEmpty())
        return refuse(QLatin1String(ConfigTransfer::corruptedText));

    QByteArray result;
    if (command == QLatin1String("decrypt")) {
        // A document with a broken structure is still shown: it is what a
        // person mends before encrypting it again.
        result = ConfigTransfer::documentTextOf(bytes);
        if (result.isEmpty())
            return refuse(QLatin1String(ConfigTransfer::corruptedText));
    } else {
        bool exportFile = false;
        if (command == QLatin1String("check")) {
            // The unit's file dialog takes only this extension, case and all.
            // Standard input has no name: an export file is what deciphers.
            exportFile = input == QLatin1String("-") ? !ConfigTransfer::documentTextOf(bytes).isEmpty()
                                                     : input.endsWith(QLatin1String(".ccfg"));
            if (!exportFile && input != QLatin1String("-") && !input.endsWith(QLatin1String(".xml")))
                return refuse(QStringLiteral("Specified File type is not compatible."));
        }
        // A document is judged as the text encrypt writes, which is what a unit imports.
        QDomDocument parsed;
        const QByteArray documentText = exportFile ? ConfigTransfer::documentTextOf(bytes)
            : readDatabaseText(bytes, parsed)      ? writableDatabaseText(parsed)
                                                   : QByteArray();
        if (exportFile)
            readDatabaseText(documentText, parsed);
        // Judged as a unit would judge it, against the file's own network:
        // away from a unit there is no other.
        const ConfigTransfer::ImportPlan plan = ConfigTransfer::planImport(
            documentText, ConfigTransfer::unitNetworkOf(parsed), false, QString());
        if (plan.refused())
            return refuse(plan.refusal);
        result = command == QLatin1String("check") ? ConfigTransfer::describePlan(plan).toUtf8()
                                                   : ConfigTransfer::exportFileOfText(documentText);
        if (result.isEmpty())
            return refuse(QLatin1String(ConfigTransfer::corruptedText));
    }

    if (!outputGiven || output == QLatin1String("-")) {
        const bool written
            = std::fwrite(result.constData(), 1, size_t(result.size()), stdout) == size_t(result.size());
        return std::fflush(stdout) == 0 && written ? Success : Refused;
    }
    // A decrypted document holds every password in clear text.
    if (!writeOutput(output, result, command == QLatin1String("decrypt"), reason)) {
        std::fprintf(stderr, "velmo-config: can not write %s: %s\n", output.toLocal8Bit().constData(),
            reason.toLocal8Bit().constData());
        return Refused;
    }
    return Success;
}
