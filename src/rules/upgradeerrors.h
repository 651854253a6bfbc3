#pragma once

#include <QString>

// The texts a user sees for the integer codes of upgrade and transmitter work.

// Title and text for a transmitter operation's code.
void getErrorStrings(int code, QString* title, QString* text);
// The text for a failed package preparation on the receiver.
QString rxPrepareErrorText(int code);
// The text for a failed installation; `type` is "RX" or "TX".
QString upgradeErrorText(int code, const QString& type);
