#include "configtransfer.h"

#include "database/dbnames.h"
#include "database/schema.h"
#include "database/textcipher.h"
#include "database/userlookup.h"
#include "rules/networkrules.h"
#include "rules/unitsettings.h"

#include <QRegularExpression>

using ConfigTransfer::NetworkChoice;
using ConfigTransfer::UnitNetwork;

namespace {

// The sections an import needs, each at its place.
const char* const sectionOrder[]
    = { db::Connections, db::Users, db::UnitSettings, db::RxDevices, db::TxDevices };

QDomElement child(const QDomElement& parent, const char* tag)
{
    return parent.firstChildElement(QLatin1String(tag));
}

// A value bound for a one-line "key=value" file.
QString oneLine(const QString& value)
{
    static const QRegularExpression breaks(QStringLiteral("[\n\t\r]"));
    return QString(value).remove(breaks);
}

QString structureRefusal(const QDomElement& root)
{
    if (root.tagName() != QLatin1String(db::Data))
        return QLatin1String(ConfigTransfer::structureText);
    QDomElement section = root.firstChildElement();
    for (const char* expected : sectionOrder) {
        if (section.tagName() != QLatin1String(expected))
            return QLatin1String(ConfigTransfer::structureText);
        section = section.nextSiblingElement();
    }
    // Without "admin" and an Administrator nobody could administer the unit
    // after the reboot. Log-on takes a user from any "Users" section.
    bool admin = false;
    bool administrator = false;
    for (const QDomElement& user : db::allUsers(root.ownerDocument())) {
        admin = admin || user.attribute(QLatin1String(db::UserName)) == QLatin1String("admin");
        administrator
            = administrator || user.attribute(QLatin1String(db::Privilege)) == QLatin1String("Administrator");
    }
    return admin && administrator ? QString() : QLatin1String(ConfigTransfer::structureText);
}

QStringList namesOf(const QDomDocument& document, const char* section, const char* tag, const char* key)
{
    QStringList names;
    for (QDomElement element = child(child(document.documentElement(), section), tag); !element.isNull();
         element = element.nextSiblingElement(QLatin1String(tag)))
        names << element.attribute(QLatin1String(key));
    return names;
}

int removeAll(const QDomDocument& document, const char* section, const char* tag)
{
    QDomElement parent = child(document.documentElement(), section);
    int removed = 0;
    for (QDomElement element = child(parent, tag); !element.isNull(); element = child(parent, tag)) {
        parent.removeChild(element);
        ++removed;
    }
    return removed;
}

NetworkChoice chooseNetwork(const QDomDocument& imported, const UnitNetwork& unit)
{
    const QString dhcp = readUnitSetting(imported, UnitSetting::DhcpChecked);
    const QString staticChoice = readUnitSetting(imported, UnitSetting::StaticChecked);
    if (dhcp != unit.dhcpChecked && staticChoice == QLatin1String("false"))
        return NetworkChoice::Dhcp;
    if (staticChoice != unit.staticChecked && dhcp == QLatin1String("false")) {
        StaticSettings settings { unit.address, unit.mask, unit.gateway, unit.dns1, unit.dns2 };
        return checkStaticSettings(settings).refused() ? NetworkChoice::StaticRefused : NetworkChoice::Static;
    }
    return NetworkChoice::Keep;
}

} // namespace

namespace ConfigTransfer {

const char corruptedText[] = "Import failed. Configurations file is corrupted.";
const char structureText[] = "File Structure is Corrupted. Import Aborted.";

QByteArray exportFileText(const QDomDocument& document)
{
    return exportFileOfText(writableDatabaseText(document));
}

QByteArray exportFileOfText(const QByteArray& documentText)
{
    if (documentText.isEmpty())
        return QByteArray();
    TextCipher cipher(TextCipher::exportKey);
    // The bytes as given: a document declared in another encoding stays in it.
    return cipher.encryptBytes(documentText).toBase64();
}

QByteArray documentTextOf(const QByteArray& exportFile)
{
    if (exportFile.size() > maxImportFileBytes)
        return QByteArray();
    TextCipher cipher(TextCipher::exportKey);
    // The document's own declaration tells how its bytes read, not the cipher.
    return cipher.decryptTextBytes(QString::fromLatin1(exportFile));
}

UnitNetwork unitNetworkOf(const QDomDocument& document)
{
    const auto value = [&](UnitSetting setting) { return readUnitSetting(document, setting); };
    return UnitNetwork { value(UnitSetting::DhcpChecked), value(UnitSetting::StaticChecked),
        value(UnitSetting::StaticAddress), value(UnitSetting::StaticMask), value(UnitSetting::StaticGateway),
        value(UnitSetting::StaticDns), value(UnitSetting::StaticDns2) };
}

ImportPlan planImport(const QByteArray& documentText, const UnitNetwork& unit, bool unitManaged,
    const QString& currentPowerMode)
{
    ImportPlan plan;
    if (!readDatabaseText(documentText, plan.document) || plan.document.documentElement().isNull()) {
        plan.refusal = QLatin1String(corruptedText);
        return plan;
    }
    plan.refusal = structureRefusal(plan.document.documentElement());
    if (plan.refused())
        return plan;

    QDomDocument& imported = plan.document;
    plan.autoLoginUser = oneLine(readUnitSetting(imported, UnitSetting::AutoLogonUser));
    plan.rememberedUser = oneLine(readUnitSetting(imported, UnitSetting::RememberedUser));
    plan.powerMode = readUnitSetting(imported, UnitSetting::PowerMode);
    if (plan.powerMode != QLatin1String("Auto") && plan.powerMode != QLatin1String("Manual")) {
        plan.powerMode = currentPowerMode;
        writeUnitSetting(imported, UnitSetting::PowerMode, currentPowerMode);
    }

    for (const auto& own : { std::make_pair(UnitSetting::StaticAddress, unit.address),
             std::make_pair(UnitSetting::StaticMask, unit.mask),
             std::make_pair(UnitSetting::StaticGateway, unit.gateway),
             std::make_pair(UnitSetting::StaticDns, unit.dns1),
             std::make_pair(UnitSetting::StaticDns2, unit.dns2) })
        writeUnitSetting(imported, own.first, own.second);

    if (!unitManaged) {
        plan.network = chooseNetwork(imported, unit);
        if (plan.network == NetworkChoice::StaticRefused) {
            // The unit stays on DHCP, and its database says so.
            writeUnitSetting(imported, UnitSetting::DhcpChecked, QStringLiteral("true"));
            writeUnitSetting(imported, UnitSetting::StaticChecked, QStringLiteral("false"));
        }
        plan.droppedReceivers = removeAll(imported, db::RxDevices, db::Rx);
        plan.droppedTransmitters = removeAll(imported, db::TxDevices, db::Tx);
        const QDomElement connections = child(imported.documentElement(), db::Connections);
        for (QDomElement connection = connections.lastChildElement(QLatin1String(db::Connection));
             !connection.isNull();
             connection = connection.previousSiblingElement(QLatin1String(db::Connection)))
            if (connection.attribute(QLatin1String(db::ViaTxPool)) == QLatin1String("true"))
                plan.droppedPools << connection.attribute(QLatin1String(db::Name));
        for (const QString& pool : qAsConst(plan.droppedPools))
            removeConnectionNamed(imported, pool);
    }
    // The unit stores the document only as a copy it can read back.
    const QByteArray stored = writableDatabaseText(imported);
    if (stored.isEmpty() || stored.size() > maxDatabaseTextBytes) {
        plan.refusal = QLatin1String(corruptedText);
        return plan;
    }
    plan.users = namesOf(imported, db::Users, db::User, db::UserName);
    plan.connections = namesOf(imported, db::Connections, db::Connection, db::Name);
    return plan;
}

QString describePlan(const ImportPlan& plan)
{
    // A name from the file reaches a terminal: no control character may act there.
    const auto shown = [](const QString& name) {
        QString text;
        for (const QChar c : name) {
            if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
                text += c;
            else if (c.unicode() < 0x100)
                text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
        return text;
    };
    const auto list = [&](const QStringList& names) {
        QStringList shownNames;
        for (const QString& name : names)
            shownNames << shown(name);
        return names.isEmpty() ? QStringLiteral("(none)") : shownNames.join(QStringLiteral(", "));
    };
    QString network;
    switch (plan.network) {
    case NetworkChoice::Keep:
        network = readUnitSetting(plan.document, UnitSetting::DhcpChecked) == QLatin1String("true")
            ? QStringLiteral("DHCP")
            : QStringLiteral("static, with the unit's own addresses");
        break;
    case NetworkChoice::Dhcp:
        network = QStringLiteral("switch to DHCP");
        break;
    case NetworkChoice::Static:
        network = QStringLiteral("switch to static, with the unit's own addresses");
        break;
    case NetworkChoice::StaticRefused:
        network = QStringLiteral("DHCP kept: the unit's static addresses are not valid");
        break;
    }
    return QStringLiteral("users kept: ") + list(plan.users) + QStringLiteral("\nconnections kept: ")
        + list(plan.connections) + QStringLiteral("\ntransmitter pools dropped: ") + list(plan.droppedPools)
        + QStringLiteral("\nreceiver records dropped: ") + QString::number(plan.droppedReceivers)
        + QStringLiteral("\ntransmitter records dropped: ") + QString::number(plan.droppedTransmitters)
        + QStringLiteral("\nnetwork: ") + network + QStringLiteral("\npower mode: ")
        + (plan.powerMode.isEmpty() ? QStringLiteral("the unit's own") : plan.powerMode)
        + QStringLiteral("\nautomatic log-on user: ") + shown(plan.autoLoginUser) + QLatin1Char('\n');
}

} // namespace ConfigTransfer
