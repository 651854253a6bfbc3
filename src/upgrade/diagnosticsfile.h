#pragma once

#include <QString>

class OsdContext;
class Platform;
class QWidget;

// A diagnostics file saved on the stick, for the receiver and a transmitter alike.
namespace DiagnosticsFile {

// Asks over `parent` before a file of the same name on the stick is replaced.
// False when the user keeps it.
bool confirmReplacing(OsdContext& context, QWidget* parent, const QString& targetFile);

// Copies the prepared `source` beside `target` on the stick under a passing
// name, then puts it in the place of whatever `target` was (a link itself is
// replaced, so the copy never lands where it points) and syncs. True only when
// the whole file arrived; otherwise the old one is left as it was.
bool copyToStick(Platform& platform, const QString& source, const QString& target);

} // namespace DiagnosticsFile
