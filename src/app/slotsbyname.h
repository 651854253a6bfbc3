#pragma once

class QObject;

// Connects each "on_<object>_<signal>" slot of `receiver` to that signal of the
// object so named in `root`'s tree (root included), as a generated form's own
// set-up does for the whole window. For parts of a form built later: each part
// is connected once, when it is built, so nothing is connected twice and no
// slot of a part not yet built is reported missing.
void connectSlotsByName(QObject* receiver, QObject* root);
