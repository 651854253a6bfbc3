#pragma once

// Loads the system's font configuration, which the first text laid out would
// otherwise wait for; safe on any thread, before or beside the application's own.
void loadFontConfiguration();
