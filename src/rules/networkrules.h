#pragma once
// The rules of the unit's own network settings, with no widget in sight: what
// counts as an address or a mask, whether a static set fits together, and the
// texts of the interface and resolver files. The transmitter and the settings
// import check addresses with the same functions.

#include "platform/platform.h"

#include <QByteArray>
#include <QString>

// The text with every blank removed: what is checked, stored and written.
QString cleanAddress(const QString& text);

// Four decimal parts 0-255 and nothing else: no short forms ("10.1"), no octal
// ("010"), no hexadecimal, no IPv6, no single number.
bool isIPv4Address(const QString& text);

// An address the unit can take as its own: not loopback (127.0.0.0/8) and
// not a multicast group (224.0.0.0/4), either of which cuts it off.
bool isUnitAddress(const QString& text);

// eth0 is running and its first address reads as one: what the DHCP test asks,
// on one reading of the facts, which a lease may change between two readings.
bool hasLiveAddress(const NetworkFacts& eth0);

// eth0's live address, or why it has none: "DHCP server not found." while it
// runs without one, "Network is down." otherwise.
QString liveAddressText(const NetworkFacts& eth0);

// What the check after an apply finds on one reading of eth0: no lease (only
// after DHCP), the network down (idem), or the set applied or not.
enum class AppliedNetwork { NoLease, Down, Applied, NotApplied };
AppliedNetwork appliedNetwork(bool dhcp, const QString& appliedAddress, const NetworkFacts& eth0);

// One of the 31 contiguous masks from "192.0.0.0" to "255.255.255.255".
bool isValidNetmask(const QString& text);

struct NetworkRange {
    int valid = 0; // 1 when the address, mask and gateway fit together
    QString title; // the refusal, when not valid
    QString text;
    QString network; // computed when the mask has a host part
    QString broadcast;
};

// Subnet checks of a static address set; blanks are removed first. Texts that
// are not four parts are refused with a message, never indexed past their end.
NetworkRange validateNetworkRange(const QString& address, const QString& mask, const QString& gateway);

// The static settings as typed, and which field a refusal points at.
struct StaticSettings {
    QString address;
    QString mask;
    QString gateway;
    QString dns1;
    QString dns2;
};

enum class NetworkField { None, Address, Mask, Gateway, Dns1, Dns2 };

struct NetworkRefusal {
    QString title;
    QString text;
    NetworkField focus = NetworkField::None;
    bool selectFocus = false; // the field's text is selected for retyping
    bool resetMask = false; // the mask field gets "255.255.255.0"
    bool refused() const { return !text.isEmpty(); }
};

NetworkRefusal networkRefusal(
    const QString& title, const QString& text, NetworkField focus, bool selectFocus);

// Every check of a static apply, in order; the first failure is returned.
// `settings` comes back cleaned, with an empty gateway as "0.0.0.0".
NetworkRefusal checkStaticSettings(StaticSettings& settings);

// File texts, byte for byte.
QByteArray dhcpInterfacesText();
QByteArray staticInterfacesText(
    const QString& address, const QString& mask, const QString& broadcast, const QString& gateway);
QByteArray resolverText(const QString& dns1, const QString& dns2);

struct DnsServers {
    int count = 0; // how many "nameserver" entries were met
    QString primary;
    QString secondary;
};
// The resolver file's servers: the text after the first and second "nameserver",
// up to a "#", trimmed.
DnsServers parseDnsServers(const QByteArray& resolver);

// The default gateway in "route -n" output: the gateway column of the last
// line flagged "UG"; "Not found" for a table too short to be one, "0.0.0.0"
// when there is no default route.
QString gatewayFromRouteOutput(const QByteArray& output);
