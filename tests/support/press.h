#pragma once

#include <QString>

class QObject;

// Clicks the button `button` under `parent` and lets what it queued run. With a
// `title`, the next box so titled is answered Ok: its text, or a null string when
// none came within `timeoutMs` (the answer then stays for cleanup to count).
QString pressAndSettle(
    const QObject& parent, const QString& button, const QString& title = QString(), int timeoutMs = 5000);
