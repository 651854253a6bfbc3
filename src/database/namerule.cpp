#include "namerule.h"

bool survivesRestart(const QString& name)
{
    if (!name.isEmpty() && (name.front().isSpace() || name.back().isSpace()))
        return false;
    for (const QChar character : name)
        if (character.category() == QChar::Other_Control)
            return false;
    return true;
}
