#include "upgradeerrors.h"

#include <initializer_list>

#include "services/device_services.h"

namespace {

struct CodeText {
    std::initializer_list<int> codes;
    const char* title;
    const char* text; // "%1" is the code
};

const CodeText transmitterErrors[] = {
    { { 1, 2, 3, 4, 16, 17, 28, 31 }, "Error", "Unable to connect with Transmitter. Error %1." },
    { { 6 }, "Access Denied", "The appliance you are trying to access is not a Transmitter." },
    { { 7 }, "Error", "Upgrade failed: Software version did not update." },
    { { 8 }, "Error", "LED Flash failed." },
    { { 9, 10, 11, 12, 13 }, "Error", "Upgrade failed: Upgrade file error." },
    { { 14 }, "Error", "Upgrade failed: Cannot find upgrade file." },
    { { 19 }, "Error", "Upgrade failed: Cannot retrieve information from appliance." },
    { { 20 }, "Warning",
      "Warning: It is not possible to upgrade to this upgrade file version. Please check release notes. Upgrade "
      "process cancelled." },
    { { 21 }, "Warning", "Warning: This is not a valid upgrade file. Upgrade process cancelled." },
    { { 22 }, "Warning",
      "Warning: You cannot upgrade a Transmitter with a Receiver file or vise versa. Upgrade process cancelled." },
    { { 23 }, "Warning",
      "Warning: No relevant upgrade package is present. Please check release notes. Upgrade process cancelled." },
    { { 24 }, "Warning", "Warning: No upgrade required. Software version is already on appliance." },
    { { 26 }, "Error", "An error occurred on mounting the USB memory device." },
    { { 27 }, "Restricted Action",
      "You do not have permission to reconfigure this Transmitter. It is part of another domain." },
    { { 29 }, "Error", "An error occurred when checking the appliance type." },
    { { 32 }, "Error", "An error occured when setting the EDID option." },
    { { 33 }, "Error", "An error occured when getting the appliance type." },
    { { 34 }, "Error", "An error occured when getting the HID option." },
    { { 35 }, "Error", "An error occurred when getting the EDID option." },
    { { 36 }, "Error", "An error occured when setting Transmitter preferences." },
    { { 37 }, "Error", "An error occurred when getting the appliance Model." },
    { { 38 }, "Error", "An error occured when getting the appliance MPN." },
    { { 39 }, "Error", "An error occured when getting the appliance Serial Number." },
    { { 41 }, "Error", "An error occured when getting the appliance broadcast address." },
    { { 45 }, "Error", "An error occured when getting the noise filter settings." },
    { { 18, 30, 40, 42, 43, 44, 46, 47, 48 }, "Error", "Process error. Error %1." },
};

const CodeText prepareErrors[] = {
    { { 9, 10, 11, 12, 13 }, "", "Upgrade failed: Upgrade file error" },
    { { 14 }, "", "Upgrade failed: Cannot find upgrade file." },
    { { 19 }, "", "Upgrade failed: Cannot retrieve information from device." },
    { { 20 }, "",
      "Warning: It is not possible to upgrade to this upgrade file version. Please check release notes. Upgrade "
      "process cancelled." },
    { { 21 }, "", "Warning: This is not a valid upgrade file. Upgrade process cancelled." },
    { { 22 }, "",
      "Warning: You cannot upgrade a Receiver with a Transmitter file or vise versa. Upgrade process cancelled." },
    { { 23 }, "",
      "Warning: No relevant upgrade package present. Please check release notes. Upgrade process cancelled." },
    { { 24 }, "", "Warning: No upgrade required. Software version is already on appliance." },
};

const CodeText installErrors[] = {
    { { 3 }, "", "Upgrade failed: Failed to mount device (ERR:%1)." },
    { { 6 }, "", "Upgrade failed: Failed to fetch upgrade file header (ERR:%1)." },
    { { 7 }, "", "Upgrade failed: Failed to fetch components from upgrade file (ERR:%1)." },
    { { 8 }, "", "Upgrade failed: Error in checksum match (ERR:%1)." },
    { { 9 }, "", "Upgrade failed: Error in updating firmware files (ERR:%1)." },
    { { 10 }, "", "Upgrade failed: Same firmware is already present in device (ERR:%1)." },
    { { 11 }, "", "Upgrade failed: Failed to retrieve information from device. (ERR:%1)" },
    { { 12 }, "", "Upgrade failed: Upgrade file error! (ERR:%1)." },
    { { 13 }, "", "Upgrade failed: You cannot upgrade a Transmitter with a Receiver file or vice versa (ERR:%1)." },
    { { 14 }, "", "Upgrade failed: Provided firmware is not compatible. Please check release notes (ERR:%1)." },
    { { 15 }, "", "Upgrade failed: Upgrade not required for same version (ERR:%1)." },
    { { 16 }, "", "Upgrade failed: Failed to fetch meta data from firmware image (ERR:%1)." },
    { { 17 }, "", "Upgrade failed: Failed to decrypt firmware image (ERR:%1)." },
    { { 18 }, "", "Upgrade failed: Version after upgrade does not match (ERR:%1)." },
    { { 1, 2, 4, 5, 19 }, "", "Upgrade failed: Internal Error, refer diagnostic! (ERR:%1)." },
};

template <size_t N> const CodeText* find(const CodeText (&table)[N], int code)
{
    for (const CodeText& entry : table)
        for (int candidate : entry.codes)
            if (candidate == code)
                return &entry;
    return nullptr;
}

QString withCode(const char* text, int code)
{
    return QString::fromLatin1(text).replace(QLatin1String("%1"), QString::number(code));
}

} // namespace

void getErrorStrings(int code, QString* title, QString* text)
{
    malvo_syslog(6, "void MainWindow::getErrorStrings(int, QString*, QString*)");
    const CodeText* entry = find(transmitterErrors, code);
    if (title)
        *title = QString::fromLatin1(entry ? entry->title : "Error");
    if (text)
        *text = entry ? withCode(entry->text, code) : QStringLiteral("Error %1.").arg(code);
}

QString rxPrepareErrorText(int code)
{
    const CodeText* entry = find(prepareErrors, code);
    return entry ? QString::fromLatin1(entry->text) : QStringLiteral("Upgrade failed. Error %1.").arg(code);
}

QString upgradeErrorText(int code, const QString& type)
{
    const CodeText* entry = find(installErrors, code);
    const QString text = withCode(entry ? entry->text : "Upgrade failed: Unknown error, refer diagnostic! (ERR:%1).",
                                  code);
    malvo_syslog(3, "MainWindow: %s Upgrade failed. Error string: %s\n", qPrintable(type), qPrintable(text));
    return text;
}
