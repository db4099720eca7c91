#include "core/portnames.h"

QStringList reversedPortNames(const QStringList& names)
{
    QStringList result;
    result.reserve(names.size());
    for (const QString& name : names)
        result.prepend(name);
    return result;
}

QStringList reversedPortNames(const QList<QSerialPortInfo>& ports)
{
    QStringList names;
    names.reserve(ports.size());
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    return reversedPortNames(names);
}
