#pragma once
// The device identity the monitoring server assigns, kept in "server.ini"
// (INI format, group "Server", key "GUID"), and the state the client starts
// in with it. Read once at start-up, written after a registration.

#include <QString>

namespace ServerIdentity
{

// The stored identity; empty when the file, the group or the key is missing.
QString read(const QString& iniPath);
// Stores the identity; false when the file could not be written.
bool write(const QString& iniPath, const QString& guid);

// The client's first state (a ServerState): Registered for an identity of
// ServerProtocol::kGuidLength characters, Unregistered for none, Disabled
// for any other.
int startState(const QString& guid);

} // namespace ServerIdentity
