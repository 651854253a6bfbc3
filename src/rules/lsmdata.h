#pragma once

#include <QByteArray>
#include <QString>

#include "services/device_services.h"

class Platform;
class DurableWriter;

// The record as it stands before a map is read: every field at its default.
LsmData defaultLsmData();
// A field of the record as text.
QString lsmText(const char* field);

// Where a running check keeps the package's map.
extern const char lsmTokenFile[];
// Every map value fits 31 characters and the terminating zero.
constexpr int lsmValueSize = LSM_VALUE_LEN;

// Looks `tokenName` up in map text; the last occurrence wins. The value is
// copied bounded and always terminated into `tokenValue` (lsmValueSize bytes).
// Returns 1 when found, else 0.
int lsmTokenFromText(const QByteArray& text, const char* tokenName, char* tokenValue);
// The same on a file: read only when it is a regular file within a size bound.
int getTokenFromlsmFile(const char* tokenName, const char* fileName, char* tokenValue);

// Fills the two compatibility codes from the map file (resolved path).
void readCompatibilityPackages(const QString& tokenFile, LsmData* data);
// Runs the package for its map, keeps it in the token file, sends it to the
// system log and reads it. A package that cannot run leaves the defaults.
void readLsmData(Platform& platform, DurableWriter& writer, const QString& packagePath, LsmData* data);

// The model key of a part number: its first two "-" pieces; empty when it has fewer.
QString mpnModelKey(const QString& mpn);
// The device services' model lookups; empty when the lookup fails.
QString upgradePrefixFromMpn(const QString& mpn);
QString techStringFromMpn(const QString& mpn);
QString brandFromMpn(const QString& mpn);

bool isBrandOk(const QString& brand, const LsmData& data);
bool isPackageDetected(const QString& tech, const LsmData& data);
bool isCompatibilityOk(const QString& tech, int boardCompatibility, const LsmData& data);
bool isVersionDifferent(const QString& boardSwVersion, const LsmData& data);

// 0 when the package may be installed, otherwise the outcome code of the first
// step that failed (19, 21, 23, 20, 24). The lookups go through the device services.
int compatibilityCheck(const QString& boardSwVersion, int boardCompatibility, const QString& boardDeviceType,
                       const QString& boardMPN, LsmData data);
// The same with the tech and brand texts already looked up.
int compatibilityOutcome(const QString& boardSwVersion, int boardCompatibility, const QString& tech,
                         const QString& brand, const LsmData& data);

// The package's version as one folder name, or empty when it cannot be one.
QString releaseVersionComponent(const char* rawVersion);
