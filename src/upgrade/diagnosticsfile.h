#pragma once

#include <QString>

class MainWindow;
class Platform;
class QWidget;

// A diagnostics file saved on the stick, for the receiver and a transmitter alike.
namespace DiagnosticsFile {

// Asks over `parent` before a file of the same name on the stick is replaced;
// Yes removes the old entry (a link itself, so the copy never lands where it
// points). False when the user keeps it.
bool confirmReplacing(MainWindow* mainWindow, QWidget* parent, const QString& targetFile);

// Copies the prepared `source` to `target` on the stick and syncs; true only
// when the whole file arrived where nothing stood.
bool copyToStick(Platform& platform, const QString& source, const QString& target);

} // namespace DiagnosticsFile
