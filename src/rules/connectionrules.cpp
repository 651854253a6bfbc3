#include "connectionrules.h"

#include "database/dbnames.h"
#include "database/userlookup.h"

namespace ConnectionRules {

const char kindTransmitter[] = "Transmitter";
const char kindDirect[] = "VM Direct";
const char kindHorizon[] = "VM Horizon View";
const char kindPool[] = "VM Pool";
const char kindBroker[] = "Broker";
const char kindKvm[] = "KVM";
const char kindVnc[] = "VNC";
const char kindSsh[] = "SSH";

namespace {

    const char yes[] = "Yes";
    const char trueText[] = "true";

    // Where a written attribute takes its value from.
    enum Source {
        Fixed,
        IpText,
        PortText,
        UserText,
        PasswordText,
        DomainText,
        LoadBalText,
        ConnectionType,
        ExtDeskYes,
        UsbYes,
        AudioYes,
        NlaYes,
        ViewOnlyYes,
        PersistentTrue
    };

    struct Write {
        const char* attribute;
        Source source;
        const char* fixed;
    };

    struct KindWriter {
        const char* kind;
        int checks; // fields checked after the name, always in Field order
        Write writes[14]; // ends at the first null attribute
    };

    const KindWriter kindWriters[] = {
        { kindTransmitter, Ip,
            { { db::ViaTx, Fixed, trueText }, { db::IpAddress, IpText, nullptr },
                { db::ConnectionType, ConnectionType, nullptr }, { db::ExtDesk, ExtDeskYes, nullptr },
                { db::UsbRedirection, UsbYes, nullptr }, { db::Audio, AudioYes, nullptr },
                { db::Persistent, PersistentTrue, nullptr }, { db::ViewOnly, ViewOnlyYes, nullptr },
                { db::Nla, NlaYes, nullptr } } },
        { kindDirect, Ip | User | Password | Domain,
            { { db::UserName, UserText, nullptr }, { db::IpAddress, IpText, nullptr },
                { db::Password, PasswordText, nullptr }, { db::Domain, DomainText, nullptr },
                { db::Port, PortText, nullptr }, { db::ExtDesk, ExtDeskYes, nullptr },
                { db::Audio, AudioYes, nullptr }, { db::ViewOnly, ViewOnlyYes, nullptr },
                { db::UsbRedirection, UsbYes, nullptr }, { db::Nla, NlaYes, nullptr } } },
        { kindHorizon, Ip | User | Password,
            { { db::Horizon, Fixed, trueText }, { db::UserName, UserText, nullptr },
                { db::IpAddress, IpText, nullptr }, { db::Password, PasswordText, nullptr } } },
        { kindPool, Ip | User | Password | Domain,
            { { db::Pool, Fixed, trueText }, { db::UserName, UserText, nullptr },
                { db::IpAddress, IpText, nullptr }, { db::Password, PasswordText, nullptr },
                { db::Domain, DomainText, nullptr }, { db::Port, PortText, nullptr },
                { db::UsbRedirection, UsbYes, nullptr }, { db::Audio, AudioYes, nullptr },
                { db::Nla, NlaYes, nullptr } } },
        { kindBroker, Ip | User | Password | Domain | LoadBal,
            { { db::Broker, Fixed, yes }, { db::UserName, UserText, nullptr },
                { db::IpAddress, IpText, nullptr }, { db::Password, PasswordText, nullptr },
                { db::Domain, DomainText, nullptr }, { db::Port, PortText, nullptr },
                { db::LoadBal, LoadBalText, nullptr }, { db::ConnectionType, Fixed, "Private" },
                { db::ExtDesk, ExtDeskYes, nullptr }, { db::UsbRedirection, UsbYes, nullptr },
                { db::Audio, AudioYes, nullptr }, { db::Nla, Fixed, yes }, { db::Persistent, Fixed, "false" },
                { db::ViewOnly, ViewOnlyYes, nullptr } } },
        { kindKvm, Ip,
            { { db::Type, Fixed, kindKvm }, { db::IpAddress, IpText, nullptr },
                { db::ConnectionType, ConnectionType, nullptr }, { db::UsbRedirection, UsbYes, nullptr },
                { db::Audio, AudioYes, nullptr }, { db::Persistent, PersistentTrue, nullptr } } },
        { kindVnc, Ip | Password,
            { { db::Type, Fixed, kindVnc }, { db::IpAddress, IpText, nullptr },
                { db::Password, PasswordText, nullptr }, { db::Port, PortText, nullptr },
                { db::ViewOnly, ViewOnlyYes, nullptr } } },
        { kindSsh, Ip | User,
            { { db::Type, Fixed, kindSsh }, { db::UserName, UserText, nullptr },
                { db::IpAddress, IpText, nullptr }, { db::Password, Fixed, "" },
                { db::Port, PortText, nullptr } } },
    };

    // Every new element starts with these, empty, in this order.
    const char* const templateAttributes[] = { db::ViaTx, db::ViaTxPool, db::Pool, db::Broker, db::Horizon,
        db::IpAddress, db::Port, db::UserName, db::Password, db::Domain, db::Protocol, db::LoadBal,
        db::ColourDepth, db::ConnectionType, db::ExtDesk, db::Audio, db::UsbRedirection, db::Nla,
        db::Persistent, db::Type };

    const KindWriter& writerOf(const QString& kind)
    {
        for (const KindWriter& writer : kindWriters)
            if (kind == QLatin1String(writer.kind))
                return writer;
        return kindWriters[0];
    }

    QString yesOrEmpty(bool checked)
    {
        return checked ? QString::fromLatin1(yes) : QString();
    }

    QString valueOf(const ConnectionValues& values, Source source)
    {
        switch (source) {
        case IpText:
            return values.address;
        case PortText:
            return values.port;
        case UserText:
            return values.user;
        case PasswordText:
            return values.password;
        case DomainText:
            return values.domain;
        case LoadBalText:
            return values.loadBalance;
        case ConnectionType:
            return values.shared ? QStringLiteral("Shared") : QStringLiteral("Private");
        case ExtDeskYes:
            return yesOrEmpty(values.extendedDesktop);
        case UsbYes:
            return yesOrEmpty(values.usb);
        case AudioYes:
            return yesOrEmpty(values.audio);
        case NlaYes:
            return yesOrEmpty(values.nla);
        case ViewOnlyYes:
            return yesOrEmpty(values.viewOnly);
        case PersistentTrue:
            return values.persistent ? QStringLiteral("true") : QStringLiteral("false");
        default:
            return QString();
        }
    }

    void writeFields(QDomElement& element, const QString& kind, const ConnectionValues& values, bool editing)
    {
        element.setAttribute(db::Name, values.name);
        for (const Write& write : writerOf(kind).writes) {
            if (!write.attribute)
                break;
            element.setAttribute(QLatin1String(write.attribute),
                write.source == Fixed ? QLatin1String(write.fixed) : valueOf(values, write.source));
        }
        // A changed KVM connection keeps the view-only flag it was shown with.
        if (editing && kind == QLatin1String(kindKvm))
            element.setAttribute(db::ViewOnly, valueOf(values, ViewOnlyYes));
    }

    QDomElement connectionsSection(QDomDocument& document)
    {
        QDomElement root = document.documentElement();
        QDomElement section = root.firstChildElement(db::Connections);
        if (section.isNull()) {
            section = document.createElement(db::Connections);
            root.appendChild(section);
        }
        return section;
    }

} // namespace

QString connectionKindOf(const QDomElement& connection)
{
    // The same precedence the launcher uses, so the form shows what would be started.
    const QString type = connection.attribute(db::Type);
    if (connection.attribute(db::Pool) == QLatin1String(trueText))
        return QLatin1String(kindPool);
    if (connection.attribute(db::ViaTx) == QLatin1String(trueText))
        return QLatin1String(kindTransmitter);
    if (connection.attribute(db::Broker) == QLatin1String(yes))
        return QLatin1String(kindBroker);
    if (connection.attribute(db::Horizon) == QLatin1String(trueText))
        return QLatin1String(kindHorizon);
    for (const char* kind : { kindSsh, kindVnc, kindKvm })
        if (type == QLatin1String(kind))
            return QLatin1String(kind);
    return QLatin1String(kindDirect);
}

int checkedFields(const QString& kind)
{
    return writerOf(kind).checks;
}

bool nameTaken(const QDomDocument& document, const QString& name)
{
    const QDomElement section = document.documentElement().firstChildElement(db::Connections);
    for (QDomElement entry = section.firstChildElement(db::Connection); !entry.isNull();
         entry = entry.nextSiblingElement(db::Connection))
        if (entry.attribute(db::Name) == name)
            return true;
    return false;
}

void renameReferences(QDomDocument& document, const QString& oldName, const QString& newName)
{
    const QDomElement root = document.documentElement();
    for (const QDomElement& user : db::allUsers(document)) {
        for (QDomElement link = user.firstChildElement(db::AssociatedConnections); !link.isNull();
             link = link.nextSiblingElement(db::AssociatedConnections))
            if (link.attribute(db::ConnectionName) == oldName)
                link.setAttribute(db::ConnectionName, newName);
        for (QDomElement automatic = user.firstChildElement(db::AutoConnect); !automatic.isNull();
             automatic = automatic.nextSiblingElement(db::AutoConnect))
            if (automatic.attribute(db::AutoConnectName) == oldName)
                automatic.setAttribute(db::AutoConnectName, newName);
    }
    // Transmitter pools name their members.
    const QDomElement section = root.firstChildElement(db::Connections);
    for (QDomElement entry = section.firstChildElement(db::Connection); !entry.isNull();
         entry = entry.nextSiblingElement(db::Connection))
        for (QDomElement member = entry.firstChildElement(); !member.isNull();
             member = member.nextSiblingElement())
            if (member.attribute(db::TargetName) == oldName)
                member.setAttribute(db::TargetName, newName);
}

void storeConnection(QDomDocument& document, const QString& kind, const ConnectionValues& values,
    const QString& originalName, bool editing)
{
    QDomElement section = connectionsSection(document);
    const QString& newName = values.name;

    QDomElement old;
    if (!originalName.isEmpty()) {
        old = section.firstChildElement(db::Connection);
        while (!old.isNull() && old.attribute(db::Name) != originalName)
            old = old.nextSiblingElement(db::Connection);
    }
    if (!old.isNull()) {
        // Changed where it stands and only in what the form edits: a provided or
        // imported database holds attributes and pool members the form never shows.
        // A new kind starts its fields afresh, as the form cleared them.
        if (connectionKindOf(old) != kind) {
            for (const char* attribute : templateAttributes)
                if (qstrcmp(attribute, db::ViaTxPool) != 0)
                    old.setAttribute(QLatin1String(attribute), QString());
            old.setAttribute(db::ViewOnly, QString());
        }
        writeFields(old, kind, values, editing);
    } else {
        QDomElement element = document.createElement(db::Connection);
        for (const char* attribute : templateAttributes)
            element.setAttribute(QLatin1String(attribute), QString());
        writeFields(element, kind, values, editing);
        section.appendChild(element);
    }

    if (originalName.isEmpty()) {
        // Administrators may use every connection, new ones included.
        for (QDomElement user : db::allUsers(document)) {
            if (user.attribute(db::Privilege) != QLatin1String("Administrator"))
                continue;
            QDomElement link = document.createElement(db::AssociatedConnections);
            link.setAttribute(db::ConnectionName, newName);
            user.appendChild(link);
        }
    } else if (newName != originalName) {
        renameReferences(document, originalName, newName);
    }
}

} // namespace ConnectionRules
