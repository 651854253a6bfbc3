#include "namerule.h"

#include "services/servicetext.h"

bool survivesRestart(const QString& name)
{
    if (!name.isEmpty() && (name.front().isSpace() || name.back().isSpace()))
        return false;
    for (const QChar character : name)
        if (character.category() == QChar::Other_Control)
            return false;
    return true;
}

NameFault nameFault(const QString& name)
{
    if (name.isEmpty())
        return NameFault::Empty;
    if (!survivesRestart(name))
        return NameFault::Blanks;
    if (!servicesCarry(name))
        return NameFault::NotLatin1;
    if (name.size() > maxNameLength)
        return NameFault::TooLong;
    return NameFault::None;
}
