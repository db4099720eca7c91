#pragma once
// Port names in reverse enumeration order: each name is prepended, as the
// port menu and the port-list poller both show them.

#include <QStringList>

QStringList reversedPortNames(const QStringList& names);
