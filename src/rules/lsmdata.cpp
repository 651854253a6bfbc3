#include "lsmdata.h"

#include <QDebug>
#include <QFile>
#include <QList>

#include <cstring>

#include "platform/boundedread.h"
#include "platform/durablewriter.h"
#include "platform/platform.h"
#include "services/device_services.h"

const char lsmTokenFile[] = "/usr/local/version.txt";

namespace {

// A software map is a few hundred bytes; anything far beyond is not one.
constexpr qint64 lsmFileBound = 64 * 1024;
// A package that never finishes printing its map must not hang the GUI.
constexpr int lsmRunLimitMs = 10000;

void copyValue(const QByteArray& value, char* out)
{
    const int length = qMin(value.size(), lsmValueSize - 1);
    std::memcpy(out, value.constData(), size_t(length));
    out[length] = '\0';
}

void setField(char* field, const char* text)
{
    qstrncpy(field, text, lsmValueSize);
}

void readToken(const QByteArray& map, const char* token, char* field)
{
    char value[lsmValueSize] = {};
    if (lsmTokenFromText(map, token, value))
        std::memcpy(field, value, lsmValueSize);
}

using ModelLookup = int (*)(const char*, char*);

QString lookUp(ModelLookup lookup, const QString& mpn)
{
    const QString key = mpnModelKey(mpn);
    if (key.isEmpty())
        return QString();
    char text[SU_MPN_TEXT_LEN] = {};
    if (lookup(key.toLatin1().constData(), text) != 0)
        return QString();
    text[SU_MPN_TEXT_LEN - 1] = '\0';
    return QString::fromLatin1(text);
}

QString packageCodeText(const QString& tech, const LsmData& data, bool* found)
{
    *found = true;
    if (lsmText(data.package1).startsWith(tech))
        return lsmText(data.compatibilityPackage1);
    if (lsmText(data.package2).startsWith(tech))
        return lsmText(data.compatibilityPackage2);
    *found = false;
    return QString();
}

void readCompatibilityFromText(const QByteArray& map, LsmData* data)
{
    const QByteArray key1 = QByteArray("Compatibility-") + data->package1;
    if (!lsmTokenFromText(map, key1.constData(), data->compatibilityPackage1)) {
        qDebug("compatibilityPackage1 to default value");
        setField(data->compatibilityPackage1, "0x00");
    }
    const QByteArray key2 = QByteArray("Compatibility-") + data->package2;
    if (!lsmTokenFromText(map, key2.constData(), data->compatibilityPackage2)) {
        qDebug("compatibilityPackage2 to default value");
        setField(data->compatibilityPackage2, "0x00");
    }
}

void readMap(const QByteArray& map, LsmData* data)
{
    readToken(map, "Software-Version", data->softwareVersion);
    if (lsmTokenFromText(map, "Software-Version", data->softwareVersionRaw) == 0)
        std::memset(data->softwareVersionRaw, 0, lsmValueSize);
    readToken(map, "Software-Version-Vorl", data->softwareVersionVorl);
    readToken(map, "Software-Version-Dual", data->softwareVersionDual);
    readToken(map, "Board Class", data->boardClass);
    readToken(map, "Board Brand", data->boardBrand);
    readToken(map, "Package-Number", data->packageNumber);
    readToken(map, "Package-1", data->package1);
    readToken(map, "Package-2", data->package2);
    readToken(map, "Encryption", data->encryption);
    readToken(map, "Upgrade-Format", data->upgradeFormat);
    readCompatibilityFromText(map, data);
}

} // namespace

LsmData defaultLsmData()
{
    LsmData data;
    std::memset(&data, 0, sizeof data);
    for (char* field : { data.softwareVersion, data.softwareVersionVorl, data.softwareVersionDual, data.boardClass,
                         data.boardBrand, data.packageNumber, data.package1, data.package2 })
        setField(field, "Null");
    setField(data.compatibilityPackage1, "0x00");
    setField(data.compatibilityPackage2, "0x00");
    setField(data.encryption, "Off");
    setField(data.upgradeFormat, "Single");
    return data;
}

QString lsmText(const char* field)
{
    return QString::fromLatin1(field, int(qstrnlen(field, lsmValueSize - 1)));
}

int lsmTokenFromText(const QByteArray& text, const char* tokenName, char* tokenValue)
{
    int found = 0;
    for (const QByteArray& line : text.split('\n')) {
        if (line == "Begin3" || line == "End")
            continue;
        // Runs of ":" are one separator and leading ones are skipped.
        QList<QByteArray> pieces;
        for (const QByteArray& piece : line.split(':'))
            if (!piece.isEmpty())
                pieces << piece;
        if (pieces.size() < 2 || pieces.at(0) != tokenName)
            continue;
        copyValue(pieces.at(1), tokenValue);
        found = 1;
    }
    return found;
}

int getTokenFromlsmFile(const char* tokenName, const char* fileName, char* tokenValue)
{
    QByteArray text;
    if (!readBounded(QFile::decodeName(fileName), lsmFileBound, &text))
        return 0;
    return lsmTokenFromText(text, tokenName, tokenValue);
}

void readCompatibilityPackages(const QString& tokenFile, LsmData* data)
{
    QByteArray map;
    readBounded(tokenFile, lsmFileBound, &map);
    readCompatibilityFromText(map, data);
}

void readLsmData(Platform& platform, DurableWriter& writer, const QString& packagePath, LsmData* data)
{
    *data = defaultLsmData();
    QByteArray map;
    if (!packagePath.isEmpty()) {
        const ProgramResult run = platform.runIn(packagePath, { QStringLiteral("--lsm") },
                                                 platform.unitPath(QStringLiteral("/usr/local")), lsmRunLimitMs);
        map = run.output.left(int(lsmFileBound));
        if (run.timedOut)
            malvo_syslog(3, "MainWindow: upgrade package did not finish printing its map.\n");
    }
    const QString tokenFile = platform.unitPath(QLatin1String(lsmTokenFile));
    if (!writer.writeFile(tokenFile, map))
        malvo_syslog(3, "MainWindow: cannot write %s.\n", lsmTokenFile);
    for (const QByteArray& line : map.split('\n'))
        if (!line.isEmpty())
            malvo_syslog(3, "%s", line.constData());
    readMap(map, data);
}

QString mpnModelKey(const QString& mpn)
{
    const QStringList pieces = mpn.split(QLatin1Char('-'));
    if (pieces.size() < 2)
        return QString();
    return pieces.at(0) + QLatin1Char('-') + pieces.at(1);
}

QString upgradePrefixFromMpn(const QString& mpn)
{
    const QString prefix = lookUp(su_models_get_upgrade_prefix_from_mpn, mpn);
    qDebug() << "Upgrade file is:" << prefix;
    return prefix;
}

QString techStringFromMpn(const QString& mpn)
{
    const QString tech = lookUp(su_models_get_tech_string_from_mpn, mpn);
    qDebug() << "Tech String is is:" << tech;
    return tech;
}

QString brandFromMpn(const QString& mpn)
{
    const QString brand = lookUp(su_models_get_brand_from_mpn, mpn);
    qDebug() << "Brand String is is:" << brand;
    return brand;
}

// An empty text is contained in every text and starts every text, so it
// would pass any package: it fails instead.
bool isBrandOk(const QString& brand, const LsmData& data)
{
    return !brand.isEmpty() && lsmText(data.boardBrand).contains(brand);
}

bool isPackageDetected(const QString& tech, const LsmData& data)
{
    if (tech.isEmpty() || !(lsmText(data.package1).startsWith(tech) || lsmText(data.package2).startsWith(tech)))
        return false;
    qDebug().noquote() << QStringLiteral("Package ") + tech + QStringLiteral(" detected");
    return true;
}

bool isCompatibilityOk(const QString& tech, int boardCompatibility, const LsmData& data)
{
    if (tech.isEmpty())
        return false;
    bool found = false;
    const QString code = packageCodeText(tech, data, &found);
    if (!found)
        return false;
    const QStringList pieces = code.split(QStringLiteral("0x"));
    const int packageCode = pieces.size() >= 2 ? pieces.at(1).toInt() : 0;
    if (packageCode < boardCompatibility)
        return false;
    qDebug().noquote() << QStringLiteral("Compatability is OK: ") + QString::number(boardCompatibility)
                              + QStringLiteral(" vs ") + QString::number(packageCode);
    return true;
}

bool isVersionDifferent(const QString& boardSwVersion, const LsmData& data)
{
    return boardSwVersion != lsmText(data.softwareVersion);
}

int compatibilityOutcome(const QString& boardSwVersion, int boardCompatibility, const QString& tech,
                         const QString& brand, const LsmData& data)
{
    if (!lsmText(data.upgradeFormat).startsWith(QLatin1String("Dual"))) {
        malvo_syslog(3, "SSH2: Error, Legacy upgrade filetypes not suported.\n");
        return 19;
    }
    if (!isBrandOk(brand, data)) {
        malvo_syslog(3, "Error, incorrect brand detected.\n");
        return 21;
    }
    if (!isPackageDetected(tech, data)) {
        malvo_syslog(3, "Error, package not detected.\n");
        return 23;
    }
    if (!isCompatibilityOk(tech, boardCompatibility, data)) {
        malvo_syslog(3, "SSH2: Error: boardCode > lsmCode.\n");
        return 20;
    }
    if (!isVersionDifferent(boardSwVersion, data)) {
        malvo_syslog(3, "SSH2: Error upgrade software same as board software.\n");
        return 24;
    }
    return 0;
}

int compatibilityCheck(const QString& boardSwVersion, int boardCompatibility, const QString& boardDeviceType,
                       const QString& boardMPN, LsmData data)
{
    malvo_syslog(7, "SSH2: Function compatibilityCheck.\n");
    {
        QDebug out = qDebug().noquote().nospace();
        out << "###Compatibility check###\n"
        << "boardSwVersion: " << boardSwVersion << "\nboardCompatibility: " << boardCompatibility
        << "\nboardDeviceType: " << boardDeviceType << "\nboardMPN: " << boardMPN << "\n###LSM Data###\n"
        << "softwareVersion: " << lsmText(data.softwareVersion) << "\nSoftware-Version-Vorl: " << lsmText(data.softwareVersionVorl)
        << "\nSoftware-Version-Dual: " << lsmText(data.softwareVersionDual) << "\nBoard Class: " << lsmText(data.boardClass)
        << "\nBoard Brand: " << lsmText(data.boardBrand) << "\nCompatibility-" << lsmText(data.package1) << ":"
        << lsmText(data.compatibilityPackage1) << "\nCompatibility-" << lsmText(data.package2) << ":" << lsmText(data.compatibilityPackage2)
        << "\nEncription: " << lsmText(data.encryption) << "\nUpgrade-Format: " << lsmText(data.upgradeFormat)
        << "\nPackage-Number: " << lsmText(data.packageNumber) << "\nPackage-1: " << lsmText(data.package1)
        << "\nPackage-2: " << lsmText(data.package2);
    }
    const QString tech = techStringFromMpn(boardMPN);
    const QString brand = brandFromMpn(boardMPN);
    return compatibilityOutcome(boardSwVersion, boardCompatibility, tech, brand, data);
}

QString releaseVersionComponent(const char* rawVersion)
{
    const QByteArray version(rawVersion, int(qstrnlen(rawVersion, lsmValueSize - 1)));
    if (version.isEmpty() || version.startsWith('.'))
        return QString();
    for (const char c : version) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
            || c == '_' || c == '-' || c == '+';
        if (!safe)
            return QString();
    }
    return QString::fromLatin1(version);
}
