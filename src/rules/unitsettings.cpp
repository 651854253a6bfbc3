#include "unitsettings.h"

#include "database/dbnames.h"

#include <iterator>

namespace {

using S = UnitSetting;

// The groups the pages create on their first save; the others come with the
// database or its upgrade, and a writer leaves them alone when they are missing.
constexpr UnitSettingPlace places[] = {
    { S::RdpResolution, db::ScreenResolution, nullptr, db::Default, "", false },
    { S::DhcpChecked, db::Network, db::Dhcp, db::SetChecked, "", false },
    { S::StaticChecked, db::Network, db::StaticIp, db::SetChecked, "", false },
    { S::StaticAddress, db::Network, db::StaticIp, db::IpAddress, "", false },
    { S::StaticMask, db::Network, db::StaticIp, db::NetworkMask, "", false },
    { S::StaticGateway, db::Network, db::StaticIp, db::DefaultGateway, "", false },
    { S::StaticDns, db::Network, db::StaticIp, db::DnsAddress, "", false },
    { S::StaticDns2, db::Network, db::StaticIp, db::Dns2Address, "", false },
    { S::AutoLogonUser, db::AutoLogin, nullptr, db::AutoLogUser, "", false },
    { S::RememberedUser, db::RememberLastUser, nullptr, db::RememberUserName, "", false },
    { S::HotKey, db::HotKey, nullptr, db::Hotkey, "", true },
    { S::FunctionalHotKey, db::FunctionalHotKey, nullptr, db::Key, "Enable", true },
    { S::PowerMode, db::PowerModeGroup, nullptr, db::PowerMode, "", false },
    { S::GuiInactivityMinutes, db::GuiInactivityTimer, nullptr, db::Value, "0", true },
    { S::ConnectionInactivityMinutes, db::ConnectionInactivityTimer, nullptr, db::Value, "0", true },
    // A document without the group still keeps what the broker dialog saves.
    { S::BrokerViaActiveDir, db::BrokerGroup, nullptr, db::ConViaActiveDir, "", true },
    { S::BrokerViaBroker, db::BrokerGroup, nullptr, db::ConViaBroker, "", true },
    { S::BrokerVmResourse, db::BrokerGroup, nullptr, db::VmResourse, "", true },
    { S::BrokerWebAccess, db::BrokerGroup, nullptr, db::WebAccessAddr, "", true },
    { S::BrokerAddress, db::BrokerGroup, nullptr, db::ConBrokerIp, "", true },
    { S::BrokerDomain, db::BrokerGroup, nullptr, db::Domain, "", true },
    { S::BrokerDefaultAddress, db::BrokerGroup, nullptr, db::DefaultBrokerIp, "", true },
    { S::BrokerLoadBalance, db::BrokerGroup, nullptr, db::LoadBalInfo, "", true },
};

constexpr bool inEnumOrder()
{
    for (std::size_t i = 0; i < std::size(places); ++i) {
        if (places[i].setting != UnitSetting(i))
            return false;
    }
    return std::size(places) == std::size_t(S::BrokerLoadBalance) + 1;
}
static_assert(inEnumOrder(), "one place per setting, in the order of UnitSetting");

QDomElement holder(const QDomElement& group, const UnitSettingPlace& place)
{
    return place.part ? group.firstChildElement(QLatin1String(place.part)) : group;
}

QString valueIn(const QDomElement& group, const UnitSettingPlace& place)
{
    const QString value = holder(group, place).attribute(QLatin1String(place.attribute));
    return value.isEmpty() ? QLatin1String(place.fallback) : value;
}

} // namespace

const UnitSettingPlace& unitSettingPlace(UnitSetting setting)
{
    return places[std::size_t(setting)];
}

QDomElement unitSettingsSection(const QDomDocument& document)
{
    return document.documentElement().firstChildElement(QLatin1String(db::UnitSettings));
}

QDomElement unitSettingsGroup(const QDomDocument& document, const char* group)
{
    return unitSettingsSection(document).firstChildElement(QLatin1String(group));
}

QString readUnitSetting(const QDomDocument& document, UnitSetting setting)
{
    const UnitSettingPlace& place = unitSettingPlace(setting);
    return valueIn(unitSettingsGroup(document, place.group), place);
}

QString readLastUnitSetting(const QDomDocument& document, UnitSetting setting)
{
    const UnitSettingPlace& place = unitSettingPlace(setting);
    const QLatin1String sectionTag(db::UnitSettings);
    const QLatin1String groupTag(place.group);
    QDomElement last;
    for (QDomElement section = unitSettingsSection(document); !section.isNull();
         section = section.nextSiblingElement(sectionTag)) {
        for (QDomElement group = section.firstChildElement(groupTag); !group.isNull();
             group = group.nextSiblingElement(groupTag))
            last = group;
    }
    return valueIn(last, place);
}

bool writeUnitSetting(QDomDocument& document, UnitSetting setting, const QString& value)
{
    const UnitSettingPlace& place = unitSettingPlace(setting);
    QDomElement section = unitSettingsSection(document);
    QDomElement group = section.firstChildElement(QLatin1String(place.group));
    if (group.isNull() && place.writerAddsGroup && !section.isNull())
        group = section.appendChild(document.createElement(QLatin1String(place.group))).toElement();
    QDomElement element = holder(group, place);
    if (element.isNull())
        return false;
    element.setAttribute(QLatin1String(place.attribute), value);
    return true;
}
