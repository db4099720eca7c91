#include "core/portnames.h"

QStringList reversedPortNames(const QStringList& names)
{
    QStringList result;
    result.reserve(names.size());
    for (const QString& name : names)
        result.prepend(name);
    return result;
}
