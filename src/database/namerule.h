#pragma once

#include <QString>

// Whether a user or connection name is read back the same from the record of
// a running session: no blank at either end, no control character. The
// restored log-on takes the name as it reads it, so "boss " must never come
// back as "boss".
bool survivesRestart(const QString& name);

// The one rule for the name of a user and of a connection, in the order the
// dialogs say what is wrong: not empty; read back the same after a restart;
// carried by the unit's services (Latin-1, no NUL); at most 32 characters, as
// the services' buffers and the dialogs' fields take it.
enum class NameFault { None, Empty, Blanks, NotLatin1, TooLong };
constexpr int maxNameLength = 32;
NameFault nameFault(const QString& name);
