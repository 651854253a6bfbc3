#pragma once

#include <QString>

// Loads the display plugin Qt's application start is about to load, with the
// libraries it needs, on the calling thread: the start, running beside it,
// then finds them loaded instead of linking them itself. False when `name`
// is not a plain platform name or no plugin file of that name is installed.
bool preloadDisplayPlugin(const QString& name);
