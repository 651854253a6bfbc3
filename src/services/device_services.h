#pragma once
// The unit's closed service libraries, as the OSD calls them. Results are 0 for
// success unless a comment says otherwise; text results go into caller-owned,
// zero-filled buffers of the sizes below, and the services never write past them.

#include <stddef.h>
#include <stdint.h>

// Buffer sizes the callers allocate (bytes, terminator included).
enum {
    SU_USER_NAME_LEN = 33,        // su_get_logged_in_user, su_set_logged_in_user
    SU_ZONE_LEN = 33,             // su_get_rx_zone
    SU_MODEL_LEN = 11,            // su_get_model
    SU_SERIAL_LEN = 12,           // su_get_serial
    SU_SPN_LEN = 64,              // su_get_spn
    SU_STORE_LEN = 22,            // su_get_store
    SU_MPN_TEXT_LEN = 36,         // su_models_get_*_from_mpn
    SU_BROADCAST_LEN = 46,        // su_get_broadcast_address
    HAL_RESOLUTION_COUNT = 50,    // hal_get_display_resolutions: table entries
    HAL_RESOLUTION_LEN = 51,      //   bytes per entry and for the preferred mode
    HAL_EDID_NAME_LEN = 64,       // hal_get_edid_name
    AD_SESSION_LEN = 256,         // ad_login / ad_auth_complete
    LSM_VALUE_LEN = 32            // one value of an upgrade package's software map
};

#ifdef __cplusplus
#define VELMO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VELMO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

// The unit description filled by su_get_board_info. The OSD reads only the
// fields named here; the rest belongs to the service library.
typedef struct BoardInfo {
    char unitText1[13];     // 0
    char mpn[21];           // 13: model part number
    char unitText2[18];     // 34
    int32_t boardId;        // 52
    int32_t reserved56;
    int32_t brandId;        // 60
    int32_t reserved64;
    int32_t compatibility;  // 68
    char reserved72[184];
} BoardInfo;

VELMO_STATIC_ASSERT(offsetof(BoardInfo, mpn) == 13, "BoardInfo.mpn");
VELMO_STATIC_ASSERT(offsetof(BoardInfo, unitText2) == 34, "BoardInfo.unitText2");
VELMO_STATIC_ASSERT(offsetof(BoardInfo, boardId) == 52, "BoardInfo.boardId");
VELMO_STATIC_ASSERT(offsetof(BoardInfo, brandId) == 60, "BoardInfo.brandId");
VELMO_STATIC_ASSERT(offsetof(BoardInfo, compatibility) == 68, "BoardInfo.compatibility");
VELMO_STATIC_ASSERT(sizeof(BoardInfo) == 256, "BoardInfo size");

// An upgrade package's software map. Every value is a terminated text of at
// most LSM_VALUE_LEN - 1 characters.
typedef struct LsmData {
    char softwareVersion[LSM_VALUE_LEN];
    char softwareVersionVorl[LSM_VALUE_LEN];
    char softwareVersionDual[LSM_VALUE_LEN];
    char boardClass[LSM_VALUE_LEN];
    char boardBrand[LSM_VALUE_LEN];
    char compatibilityPackage1[LSM_VALUE_LEN];
    char compatibilityPackage2[LSM_VALUE_LEN];
    char encryption[LSM_VALUE_LEN];
    char upgradeFormat[LSM_VALUE_LEN];
    char packageNumber[LSM_VALUE_LEN];
    char package1[LSM_VALUE_LEN];
    char package2[LSM_VALUE_LEN];
    // Software-Version exactly as read, for the extraction directory name.
    char softwareVersionRaw[LSM_VALUE_LEN];
} LsmData;

// The record exchanged with the transmitter and upgrade work functions. Its
// layout is an interface of the service library: every offset is pinned.
typedef struct ConfigData {
    uint8_t reserved0[20];
    struct {
        uint8_t manager;
        uint8_t managed;
        char token[32];
        char mac[32];
    } rx_settings;                 // 20
    struct {
        char ip[256];
    } tx_settings;                 // 86
    uint8_t reserved342[2];
    struct {
        int32_t video_quality;        // 344
        int32_t video_optimisation;   // 348
        char hid_mode[16];            // 352
        int32_t hid_enabled;          // 368
        int32_t heads;                // 372
        uint8_t reserved376[64];
        int32_t edid_index[2];        // 440
        char edid_select[2][64];      // 448
        char edid_prev_name[2][64];   // 576
        char edid_clone_name[2][64];  // 704
        char spare_text[2][64];       // 832
    } tx_prefs;                    // 344
    struct {
        char mpn[12];                 // 960
        char serial[13];              // 972
        char mac[32];                 // 985
        char sw_version[20];          // 1017
        char mcast_addr[64];          // 1037
        char mcast_port[32];          // 1101
    } tx_info;                     // 960
    struct {
        char softwareVersion[32];     // 1133
        char softwareVersionVorl[32]; // 1165
        char softwareVersionDual[32]; // 1197
        char spare1229[10];           // 1229
        char boardClass[32];          // 1239
        char spare1271[32];           // 1271
        char boardBrand[32];          // 1303
        char compatibilityPackage1[32]; // 1335
        char compatibilityPackage2[32]; // 1367
        uint8_t reserved1399[192];
        char encryption[32];          // 1591
        char upgradeFormat[32];       // 1623
        char packageNumber[32];       // 1655
        char package1[32];            // 1687
        char package2[32];            // 1719
    } upgrade;                     // 1133
    uint8_t reserved1751[1];
    struct {
        char ip[255];                 // 1752
        char mask[45];                // 2007
        char gateway[45];             // 2052
        char aux[255];                // 2097
        int32_t flags[2];             // 2352
        char mcast_addr[268];         // 2360
    } tx_net;                      // 1752
    struct {
        char ip[255];                 // 2628
        char net[80];                 // 2883
    } discovered;                  // 2628
    char device_type[4];           // 2963
    char tx_upgrade_file[64];      // 2967
    uint8_t reserved3031[191];
    char rx_release_dir[255];      // 3222
    char net_device_type[2];       // 3477, no terminator
    uint8_t reserved3479[1];
    int32_t clone_head;            // 3480
} ConfigData;

VELMO_STATIC_ASSERT(offsetof(ConfigData, rx_settings.manager) == 20, "rx_settings.manager");
VELMO_STATIC_ASSERT(offsetof(ConfigData, rx_settings.managed) == 21, "rx_settings.managed");
VELMO_STATIC_ASSERT(offsetof(ConfigData, rx_settings.token) == 22, "rx_settings.token");
VELMO_STATIC_ASSERT(offsetof(ConfigData, rx_settings.mac) == 54, "rx_settings.mac");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_settings.ip) == 86, "tx_settings.ip");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.video_quality) == 344, "tx_prefs.video_quality");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.video_optimisation) == 348, "tx_prefs.video_optimisation");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.hid_mode) == 352, "tx_prefs.hid_mode");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.hid_enabled) == 368, "tx_prefs.hid_enabled");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.heads) == 372, "tx_prefs.heads");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_index) == 440, "tx_prefs.edid_index[0]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_index) + 4 == 444, "tx_prefs.edid_index[1]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_select) == 448, "tx_prefs.edid_select[0]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_select) + 64 == 512, "tx_prefs.edid_select[1]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_prev_name) == 576, "tx_prefs.edid_prev_name[0]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_prev_name) + 64 == 640, "tx_prefs.edid_prev_name[1]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_clone_name) == 704, "tx_prefs.edid_clone_name[0]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.edid_clone_name) + 64 == 768, "tx_prefs.edid_clone_name[1]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.spare_text) == 832, "tx_prefs.spare_text[0]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_prefs.spare_text) + 64 == 896, "tx_prefs.spare_text[1]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_info.mpn) == 960, "tx_info.mpn");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_info.serial) == 972, "tx_info.serial");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_info.mac) == 985, "tx_info.mac");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_info.sw_version) == 1017, "tx_info.sw_version");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_info.mcast_addr) == 1037, "tx_info.mcast_addr");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_info.mcast_port) == 1101, "tx_info.mcast_port");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.softwareVersion) == 1133, "upgrade.softwareVersion");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.softwareVersionVorl) == 1165, "upgrade.softwareVersionVorl");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.softwareVersionDual) == 1197, "upgrade.softwareVersionDual");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.spare1229) == 1229, "upgrade.spare1229");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.boardClass) == 1239, "upgrade.boardClass");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.spare1271) == 1271, "upgrade.spare1271");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.boardBrand) == 1303, "upgrade.boardBrand");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.compatibilityPackage1) == 1335, "upgrade.compatibilityPackage1");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.compatibilityPackage2) == 1367, "upgrade.compatibilityPackage2");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.encryption) == 1591, "upgrade.encryption");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.upgradeFormat) == 1623, "upgrade.upgradeFormat");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.packageNumber) == 1655, "upgrade.packageNumber");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.package1) == 1687, "upgrade.package1");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.package2) == 1719, "upgrade.package2");
VELMO_STATIC_ASSERT(offsetof(ConfigData, upgrade.package2) + 32 == 1751, "upgrade block end");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.ip) == 1752, "tx_net.ip");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.mask) == 2007, "tx_net.mask");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.gateway) == 2052, "tx_net.gateway");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.aux) == 2097, "tx_net.aux");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.flags) == 2352, "tx_net.flags[0]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.flags) + 4 == 2356, "tx_net.flags[1]");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_net.mcast_addr) == 2360, "tx_net.mcast_addr");
VELMO_STATIC_ASSERT(offsetof(ConfigData, discovered.ip) == 2628, "discovered.ip");
VELMO_STATIC_ASSERT(offsetof(ConfigData, discovered.net) == 2883, "discovered.net");
VELMO_STATIC_ASSERT(offsetof(ConfigData, device_type) == 2963, "device_type");
VELMO_STATIC_ASSERT(offsetof(ConfigData, tx_upgrade_file) == 2967, "tx_upgrade_file");
VELMO_STATIC_ASSERT(offsetof(ConfigData, rx_release_dir) == 3222, "rx_release_dir");
VELMO_STATIC_ASSERT(offsetof(ConfigData, net_device_type) == 3477, "net_device_type");
VELMO_STATIC_ASSERT(offsetof(ConfigData, clone_head) == 3480, "clone_head");
VELMO_STATIC_ASSERT(sizeof(ConfigData) == 3484, "ConfigData size");

// A work function run on a Worker thread: the record in, a result code out.
typedef int32_t (*func_t)(void*);

#ifdef __cplusplus
extern "C" {
#endif

// Logging: syslog priorities 3 (error), 5 (constructor, action), 6 (page, result), 7 (trace).
void malvo_syslog(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Statistics. Return values are not examined by the OSD.
int statistcs_send_json_alert_object(int severity, int category, int subject, int event, int result,
                                     const char* code, const char* user, const char* text1,
                                     const char* text2, const char* text3);
int statistcs_send_json_authentication_statistic_object(unsigned int successfulLogin,
                                                        unsigned int failedLogin,
                                                        unsigned int managerUnreachable);
int statistcs_send_json_connection_control_statistic_object(unsigned int connectionInUse,
                                                            unsigned int connectionNotReachable,
                                                            unsigned int connectionRefused,
                                                            unsigned int connectionError,
                                                            unsigned int timeouts);
int statistcs_send_json_system_fact_object(void);

// Settings: touch-screen redirection. get returns 1 on success; set returns 0 on failure.
int dal_get_tsredirection(int* value);
int dal_set_tsredirection(int value);

// Unit facts. The *_head* predicates return non-zero for true.
int su_get_board_info(BoardInfo* info);
int su_is_single_head_bi(const BoardInfo* info);
int su_is_dual_head_bi(const BoardInfo* info);
int su_is_dual_head(void);
int su_get_model(char model[SU_MODEL_LEN]);
int su_get_serial(char serial[SU_SERIAL_LEN]);
int su_get_spn(const char* model, char spn[SU_SPN_LEN]);
int su_get_store(int key, char value[SU_STORE_LEN]);
int su_get_rx_zone(char zone[SU_ZONE_LEN]);
int su_models_get_upgrade_prefix_from_mpn(const char* mpnKey, char prefix[SU_MPN_TEXT_LEN]);
int su_models_get_tech_string_from_mpn(const char* mpnKey, char tech[SU_MPN_TEXT_LEN]);
int su_models_get_brand_from_mpn(const char* mpnKey, char brand[SU_MPN_TEXT_LEN]);

// Logged-on user; an empty text clears it.
int su_get_logged_in_user(char user[SU_USER_NAME_LEN]);
int su_set_logged_in_user(const char* user);

// Database fetch: ("", 0) pulls the managed database, (user, 1) the database after
// a directory log-on. The files are replaced; the caller reloads.
int su_get_xml_db(const char* user, int mode);

// Network. su_is_valid_multicast_address returns non-zero for valid.
int su_get_broadcast_address(const char* ip, const char* mask, char broadcast[SU_BROADCAST_LEN]);
int su_is_valid_multicast_address(const char* address);

// USB memory device: 0 = mounted.
int su_mount_usb_drive(void);
int su_unmount_usb_drive(void);

// Work functions, run on a Worker with a ConfigData record.
int32_t su_upgrade_rx_unit(void* cfg);
int32_t su_upgrade_tx_unit(void* cfg);
int32_t su_get_tx_device_info(void* cfg);
int32_t su_get_tx_preferences(void* cfg);
int32_t su_set_tx_prefs(void* cfg);
int32_t su_set_tx_network(void* cfg);
int32_t su_reboot_tx_unit(void* cfg);
int32_t su_restore_tx_unit(void* cfg);
int32_t su_run_tx_diagnostics(void* cfg);
int32_t su_listen_for_ip(void* cfg);
int32_t su_transfer_clone_edid(void* cfg);
// Called directly: fills tx_net; status 0 = normal, 1 = safe mode, 2 = not reachable.
int su_get_tx_network_settings(ConfigData* cfg);
int su_safemode_tx_status(ConfigData* cfg);

// Display.
int hal_get_display_resolutions(char table[HAL_RESOLUTION_COUNT][HAL_RESOLUTION_LEN],
                                char preferred[HAL_RESOLUTION_LEN]);
int hal_get_edid_name(int head, char name[HAL_EDID_NAME_LEN]);
int hal_clone_edid(int head);

// Directory log-on: ad_login starts it, ad_get_auth_status polls (3, 4, 5 = pending),
// ad_auth_complete finishes it with the session buffer of ad_login.
int ad_login(const char* user, const char* password, char session[AD_SESSION_LEN]);
int ad_get_auth_status(const char* user);
int ad_auth_complete(const char* user, char session[AD_SESSION_LEN]);

// Session launchers. Flags are 0 or 1; only 0 means the session was prepared.
int create_vm_connection(const char* name, const char* loggedOnUser, const char* userName,
                         const char* password, const char* ip, int audio, const char* domain,
                         int viewOnly, int port, int usb, int nla);
int create_via_tx_connection(const char* name, const char* ip, int audio, int usb,
                             int inactivityTimer, const char* loggedOnUser, int shared,
                             int persistent, int extendedDesktop, int viewOnly);
int create_via_kvm_connection(const char* name, const char* ip, int audio, int usb,
                              int inactivityTimer, const char* loggedOnUser, int shared,
                              int persistent);
int create_horizon_connection(const char* userName, const char* password, const char* ip);
int create_vnc_connection(const char* password, const char* ip, int port);
int create_ssh_connection(const char* userName, const char* password, const char* ip, int port);

#ifdef __cplusplus
}
#endif
