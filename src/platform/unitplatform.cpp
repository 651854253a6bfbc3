// On the appliance the unit is the machine itself; elsewhere the simulated
// unit provides the platform.
#ifdef VELMO_ON_UNIT
#include "linuxplatform.h"

std::unique_ptr<Platform> createUnitPlatform()
{
    return std::make_unique<LinuxPlatform>();
}
#endif
