// The device services of the simulated unit: logging, statistics, settings,
// unit facts, the logged-on user, the database fetch, network helpers, USB and
// display. Each acts on the current SimUnit and can be failed through its
// state ("failures"), except the plain predicates and malvo_syslog.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <functional>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <syslog.h>

#include "platform/boundedread.h"
#include "services/device_services.h"
#include "unitdatabase.h"
#include "simdirectory.h"
#include "simservicesupport.h"
#include "simunit.h"

using namespace SimServices;

namespace {
constexpr size_t logLineBytes = 2048;

// Callers log Latin-1 and UTF-8 alike; keep whichever reads cleanly.
QString decodeLogText(const char* text)
{
    const QByteArray bytes(text);
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(bytes) : utf8;
}

int recordStatistic(const char* call, const QJsonArray& arguments)
{
    SimUnit* unit = SimUnit::current();
    if (!unit)
        return noUnit;
    unit->recordStatistic(QString::fromLatin1(call), arguments);
    return unit->failure(QString::fromLatin1(call));
}

// Copies a text found in the state into a caller's buffer; `missing` when the
// buffer or the text is not there (a value that is not text counts as missing).
int copyStateText(const char* function, char* out, size_t size, int missing,
    const std::function<QJsonValue(const QJsonObject&)>& find)
{
    int code = 0;
    SimUnit* unit = begin(function, &code);
    if (!unit)
        return code;
    const QJsonValue text = find(unit->state());
    if (!out || !text.isString())
        return missing;
    toC(out, size, text.toString());
    return 0;
}

// A unit fact; an absent one reads as "".
int copyIdentityText(const char* function, const char* key, char* out, size_t size)
{
    return copyStateText(function, out, size, 1, [&](const QJsonObject& state) {
        return QJsonValue(child(state, QStringLiteral("identity")).value(QLatin1String(key)).toString());
    });
}

// An entry of identity.<table>; `missing` when there is no such entry.
int copyIdentityEntry(
    const char* function, const char* table, const QString& key, int missing, char* out, size_t size)
{
    return copyStateText(function, out, size, missing, [&](const QJsonObject& state) {
        return child(child(state, QStringLiteral("identity")), QLatin1String(table)).value(key);
    });
}

// A field of the model entry for an MPN key; 1 for an unknown key.
int copyModelText(const char* function, const char* mpnKey, const char* field, char* out)
{
    const QString key = fromC(mpnKey, 256);
    return copyStateText(function, out, SU_MPN_TEXT_LEN, 1, [&](const QJsonObject& state) {
        const QJsonValue entry = child(state, QStringLiteral("models")).value(key);
        return entry.isObject() ? QJsonValue(entry.toObject().value(QLatin1String(field)).toString())
                                : QJsonValue();
    });
}

int boardHeads(SimUnit* unit)
{
    return child(unit->state(), QStringLiteral("board")).value(QStringLiteral("heads")).toInt(1);
}
}

extern "C" {

void malvo_syslog(int priority, const char* format, ...)
{
    char text[logLineBytes];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format ? format : "", args);
    va_end(args);
    syslog(LOG_USER | (priority & LOG_PRIMASK), "%s", text);
    if (SimUnit* unit = SimUnit::current())
        unit->recordLog(priority, decodeLogText(text));
}

int statistcs_send_json_alert_object(int severity, int category, int subject, int event, int result,
    const char* code, const char* user, const char* text1, const char* text2, const char* text3)
{
    return recordStatistic("statistcs_send_json_alert_object",
        QJsonArray { severity, category, subject, event, result, fromC(code), fromC(user), fromC(text1),
            fromC(text2), fromC(text3) });
}

int statistcs_send_json_authentication_statistic_object(
    unsigned int successfulLogin, unsigned int failedLogin, unsigned int managerUnreachable)
{
    return recordStatistic("statistcs_send_json_authentication_statistic_object",
        QJsonArray { qint64(successfulLogin), qint64(failedLogin), qint64(managerUnreachable) });
}

int statistcs_send_json_connection_control_statistic_object(unsigned int connectionInUse,
    unsigned int connectionNotReachable, unsigned int connectionRefused, unsigned int connectionError,
    unsigned int timeouts)
{
    return recordStatistic("statistcs_send_json_connection_control_statistic_object",
        QJsonArray { qint64(connectionInUse), qint64(connectionNotReachable), qint64(connectionRefused),
            qint64(connectionError), qint64(timeouts) });
}

int statistcs_send_json_system_fact_object(void)
{
    return recordStatistic("statistcs_send_json_system_fact_object", QJsonArray());
}

// Settings: success is 1 here, so an injected failure returns 0 whatever its code.
int dal_get_tsredirection(int* value)
{
    int code = 0;
    SimUnit* unit = begin("dal_get_tsredirection", &code);
    if (!unit || !value)
        return 0;
    const QJsonObject settings = child(unit->state(), QStringLiteral("settings"));
    *value = settings.value(QStringLiteral("tsRedirection")).toInt();
    return settings.value(QStringLiteral("tsRedirectionGetResult")).toInt(1);
}

int dal_set_tsredirection(int value)
{
    int code = 0;
    SimUnit* unit = begin("dal_set_tsredirection", &code);
    if (!unit || (value != 0 && value != 1))
        return 0;
    unit->editSection(QStringLiteral("settings"),
        [&](QJsonObject& settings) { settings.insert(QStringLiteral("tsRedirection"), value); });
    return 1;
}

int su_get_board_info(BoardInfo* info)
{
    int code = 0;
    SimUnit* unit = begin("su_get_board_info", &code);
    if (!unit)
        return code;
    if (!info)
        return 1;
    const QJsonObject board = child(unit->state(), QStringLiteral("board"));
    memset(info, 0, sizeof *info);
    toC(info->unitText1, board.value(QStringLiteral("unitText1")).toString());
    toC(info->mpn, board.value(QStringLiteral("mpn")).toString());
    toC(info->unitText2, board.value(QStringLiteral("unitText2")).toString());
    info->boardId = board.value(QStringLiteral("boardId")).toInt();
    info->brandId = board.value(QStringLiteral("brandId")).toInt();
    info->compatibility = board.value(QStringLiteral("compatibility")).toInt();
    // The library keeps the head count in a field of its own.
    info->reserved56 = board.value(QStringLiteral("heads")).toInt(1);
    return 0;
}

int su_is_single_head_bi(const BoardInfo* info)
{
    return info && info->reserved56 != 2;
}

int su_is_dual_head_bi(const BoardInfo* info)
{
    return info && info->reserved56 == 2;
}

int su_is_dual_head(void)
{
    SimUnit* unit = SimUnit::current();
    return unit && boardHeads(unit) == 2;
}

int su_get_model(char model[SU_MODEL_LEN])
{
    return copyIdentityText("su_get_model", "model", model, SU_MODEL_LEN);
}

int su_get_serial(char serial[SU_SERIAL_LEN])
{
    return copyIdentityText("su_get_serial", "serial", serial, SU_SERIAL_LEN);
}

int su_get_spn(const char* model, char spn[SU_SPN_LEN])
{
    return copyIdentityEntry("su_get_spn", "spn", fromC(model, 256), 2, spn, SU_SPN_LEN);
}

int su_get_store(int key, char value[SU_STORE_LEN])
{
    return copyIdentityEntry("su_get_store", "store", QString::number(key), 1, value, SU_STORE_LEN);
}

int su_get_rx_zone(char zone[SU_ZONE_LEN])
{
    return copyIdentityText("su_get_rx_zone", "zone", zone, SU_ZONE_LEN);
}

int su_models_get_upgrade_prefix_from_mpn(const char* mpnKey, char prefix[SU_MPN_TEXT_LEN])
{
    return copyModelText("su_models_get_upgrade_prefix_from_mpn", mpnKey, "upgradePrefix", prefix);
}

int su_models_get_tech_string_from_mpn(const char* mpnKey, char tech[SU_MPN_TEXT_LEN])
{
    return copyModelText("su_models_get_tech_string_from_mpn", mpnKey, "tech", tech);
}

int su_models_get_brand_from_mpn(const char* mpnKey, char brand[SU_MPN_TEXT_LEN])
{
    return copyModelText("su_models_get_brand_from_mpn", mpnKey, "brand", brand);
}

int su_get_logged_in_user(char user[SU_USER_NAME_LEN])
{
    return copyStateText("su_get_logged_in_user", user, SU_USER_NAME_LEN, 1, [](const QJsonObject& state) {
        return QJsonValue(state.value(QStringLiteral("loggedInUser")).toString());
    });
}

int su_set_logged_in_user(const char* user)
{
    int code = 0;
    SimUnit* unit = begin("su_set_logged_in_user", &code);
    if (!unit)
        return code;
    const QString name = fromC(user, SU_USER_NAME_LEN - 1);
    unit->editState([&](QJsonObject& state) { state.insert(QStringLiteral("loggedInUser"), name); });
    return 0;
}

// Replaces both database copies and their checksums with what the management
// appliance serves, each file written whole.
int su_get_xml_db(const char* user, int mode)
{
    int code = 0;
    SimUnit* unit = begin("su_get_xml_db", &code);
    if (!unit)
        return code;
    unit->workDelay(QStringLiteral("su_get_xml_db"));
    const QString name = fromC(user, 256);
    if (mode == 1 && directoryIsLdap(unit))
        return ldapUserDatabase(unit, name);
    const QJsonObject manager = child(unit->state(), QStringLiteral("manager"));
    QString source = manager.value(QStringLiteral("databaseFile")).toString();
    if (mode == 1 && child(manager, QStringLiteral("userDatabaseFiles")).value(name).isString())
        source = child(manager, QStringLiteral("userDatabaseFiles")).value(name).toString();
    unit->editSection(QStringLiteral("manager"), [&](QJsonObject& m) {
        m.insert(QStringLiteral("pulls"), m.value(QStringLiteral("pulls")).toInt() + 1);
        m.insert(QStringLiteral("lastPull"),
            QJsonObject { { QStringLiteral("user"), name }, { QStringLiteral("mode"), mode } });
    });

    QFile in(unit->pathInside(source));
    if (source.isEmpty() || !in.open(QIODevice::ReadOnly))
        return 2; // the appliance cannot be reached
    const QByteArray database = readBounded(in, maxUnitDatabaseBytes);
    QDir().mkpath(unit->path(QStringLiteral("/mnt/perm")));
    return writeUnitDatabase(unit->platform(), database) ? 0 : 3;
}

int su_get_broadcast_address(const char* ip, const char* mask, char broadcast[SU_BROADCAST_LEN])
{
    int code = 0;
    SimUnit* unit = begin("su_get_broadcast_address", &code);
    if (!unit)
        return code;
    const Ipv4 address = parseIpv4(fromC(ip, 64));
    const Ipv4 netmask = parseIpv4(fromC(mask, 64));
    if (!address || !netmask || !broadcast)
        return 1;
    toC(broadcast, SU_BROADCAST_LEN, ipv4Text(address.value | ~netmask.value));
    return 0;
}

int su_is_valid_multicast_address(const char* address)
{
    const Ipv4 host = parseIpv4(fromC(address, 64));
    return host && (host.value >> 28) == 0xE;
}

int su_mount_usb_drive(void)
{
    int code = 0;
    SimUnit* unit = begin("su_mount_usb_drive", &code);
    if (!unit)
        return code;
    return unit->isUsbMounted() ? 0 : unit->mountUsb();
}

int su_unmount_usb_drive(void)
{
    int code = 0;
    SimUnit* unit = begin("su_unmount_usb_drive", &code);
    if (!unit)
        return code;
    return unit->isUsbMounted() ? unit->unmountUsb() : 0;
}

int hal_get_display_resolutions(
    char table[HAL_RESOLUTION_COUNT][HAL_RESOLUTION_LEN], char preferred[HAL_RESOLUTION_LEN])
{
    int code = 0;
    SimUnit* unit = begin("hal_get_display_resolutions", &code);
    if (!unit)
        return code;
    const QJsonObject display = child(unit->state(), QStringLiteral("display"));
    if (!display.value(QStringLiteral("edidValid")).toBool(true) || !table || !preferred)
        return 1;
    const QJsonArray modes = display.value(QStringLiteral("modes")).toArray();
    int count = 0;
    for (; count < modes.size() && count < HAL_RESOLUTION_COUNT; ++count)
        toC(table[count], HAL_RESOLUTION_LEN, modes.at(count).toString());
    if (count < HAL_RESOLUTION_COUNT)
        table[count][0] = '\0';
    toC(preferred, HAL_RESOLUTION_LEN, display.value(QStringLiteral("preferred")).toString());
    return 0;
}

int hal_get_edid_name(int head, char name[HAL_EDID_NAME_LEN])
{
    int code = 0;
    SimUnit* unit = begin("hal_get_edid_name", &code);
    if (!unit)
        return code;
    const QString monitor = child(unit->state(), QStringLiteral("display"))
                                .value(QStringLiteral("edidNames"))
                                .toArray()
                                .at(head)
                                .toString();
    if (head < 0 || monitor.isEmpty() || !name)
        return 1;
    toC(name, HAL_EDID_NAME_LEN, monitor);
    return 0;
}

int hal_clone_edid(int head)
{
    int code = 0;
    SimUnit* unit = begin("hal_clone_edid", &code);
    if (!unit)
        return code;
    const QJsonArray names
        = child(unit->state(), QStringLiteral("display")).value(QStringLiteral("edidNames")).toArray();
    if (head < 0 || head >= names.size() || names.at(head).toString().isEmpty())
        return 1;
    unit->editSection(QStringLiteral("display"),
        [&](QJsonObject& display) { display.insert(QStringLiteral("lastClonedHead"), head); });
    return 0;
}

} // extern "C"
