#pragma once
// Folders beside the executable: "logs" (day logs, crash logs, server.ini,
// spool files) and "file" (recordings). Tests point them at a temporary
// folder with setOverride; by default they follow the executable.

#include <QString>

namespace AppFolders {

// The folder that holds "logs" and "file": the executable's folder unless
// an override is set.
QString appDir();
QString logsDir(); // appDir() + "/logs"
QString fileDir(); // appDir() + "/file"

// Test seam: use this folder instead of the executable's (empty = default).
void setOverride(const QString& dir);

} // namespace AppFolders
