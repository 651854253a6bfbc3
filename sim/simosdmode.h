#pragma once

#include <QString>

class SimUnit;

// What the unit's firmware does when the OSD resolution in its settings store
// changes: the DirectFB mode line follows it, so the next OSD start runs in
// that mode. "Auto" takes the monitor's preferred mode.
void applyOsdResolution(SimUnit& unit, const QString& resolution);
