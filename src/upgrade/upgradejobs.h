#pragma once

#include <QString>

class Platform;

// The background jobs that VelmoThr runs. Both block until the firmware
// script has finished and return its result code (0 = success).

// Runs the unit's diagnostics collection; returns the script's exit status.
int runRxDiagnosticsJob(Platform& platform);

// Has the unit's validation script check an upgrade package's signature.
// 0 = verified, 1 = not verified, 14 = no validation script on the unit,
// 54 = the script failed or said nothing.
int runPackageValidationJob(Platform& platform, const QString& packagePath);
