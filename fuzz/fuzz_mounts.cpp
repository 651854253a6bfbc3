// The kernel's mount table as the OSD reads it to find the USB stick: any
// bytes must be judged without a crash, and a table that names /mnt/usb as a
// mount point must be seen as mounted.
#include "fuzzunit.h"
#include "rules/usbdevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const bool mounted = mountTableHasUsb(input);
    if (!mounted && mountTableHasUsb(input + "\n/dev/sda1 /mnt/usb vfat rw 0 0\n") == false)
        __builtin_trap();

    FuzzPlatform platform;
    platform.place(QStringLiteral("/proc/mounts"), input);
    if (isUsbMounted(platform) != mounted)
        __builtin_trap(); // the file reads as the text does
    return 0;
}
