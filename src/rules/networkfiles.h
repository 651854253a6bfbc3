#pragma once
// The network files the unit starts with: the interfaces file and the resolver,
// written through the durable writer for DHCP or for a static address.

#include <QString>

class Platform;
struct StaticSettings;

namespace NetworkFiles {

constexpr char interfacesPath[] = "/usr/local/interfaces";
constexpr char resolverPath[] = "/usr/local/resolv.conf";

// The broadcast address the interfaces file carries for a static address: the
// unit's service works it out; where it cannot, the range check's own.
QString broadcastAddress(const StaticSettings& settings);
// False, and logged, when the file could not be written.
bool writeDhcpInterfaces(Platform& platform);

} // namespace NetworkFiles
