#pragma once
// The unit settings the OSD reads and writes in the database document: where
// each one lives under "Unit_Settings", what it reads as when it is not there,
// and whether its writer may add its group.

#include <QDomDocument>
#include <QDomElement>
#include <QString>

enum class UnitSetting {
    RdpResolution,
    DhcpChecked,
    StaticChecked,
    StaticAddress,
    StaticMask,
    StaticGateway,
    StaticDns,
    StaticDns2,
    AutoLogonUser,
    RememberedUser,
    HotKey,
    FunctionalHotKey,
    PowerMode,
    GuiInactivityMinutes,
    ConnectionInactivityMinutes,
    BrokerViaActiveDir,
    BrokerViaBroker,
    BrokerVmResourse,
    BrokerWebAccess,
    BrokerAddress,
    BrokerDomain,
    BrokerDefaultAddress,
    BrokerLoadBalance,
};

struct UnitSettingPlace {
    UnitSetting setting;
    const char* group; // a child of Unit_Settings
    const char* part; // the child of the group that holds the attribute, or nullptr
    const char* attribute;
    const char* fallback; // read when the value is missing or empty
    bool writerAddsGroup;
};

const UnitSettingPlace& unitSettingPlace(UnitSetting setting);

// The first Unit_Settings section, and its first group of that name; null when missing.
QDomElement unitSettingsSection(const QDomDocument& document);
QDomElement unitSettingsGroup(const QDomDocument& document, const char* group);

// The value in the first Unit_Settings section.
QString readUnitSetting(const QDomDocument& document, UnitSetting setting);
// The value of the last such group over every Unit_Settings section, which is
// how the OSD's inactivity time-out has always been read.
QString readLastUnitSetting(const QDomDocument& document, UnitSetting setting);
// Sets the value in the first section, adding the group when its writer may;
// never adds Unit_Settings or a group's part. False when there is nowhere to keep it.
bool writeUnitSetting(QDomDocument& document, UnitSetting setting, const QString& value);
