#pragma once

#include <QString>

// Whether a user or connection name is read back the same from the record of
// a running session: no blank at either end, no control character. The
// restored log-on takes the name as it reads it, so "boss " must never come
// back as "boss".
bool survivesRestart(const QString& name);
