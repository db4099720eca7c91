#include "core/appfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex overrideMutex;
QString overrideDir;
}

namespace AppFolders {

QString appDir()
{
    {
        QMutexLocker lock(&overrideMutex);
        if (!overrideDir.isEmpty())
            return overrideDir;
    }
    // applicationDirPath needs the application object; without one (early
    // tests) fall back to the working directory.
    if (QCoreApplication::instance())
        return QDir(QCoreApplication::applicationDirPath()).absolutePath();
    return QDir::currentPath();
}

QString logsDir() { return appDir() + QStringLiteral("/logs"); }
QString fileDir() { return appDir() + QStringLiteral("/file"); }

void setOverride(const QString& dir)
{
    QMutexLocker lock(&overrideMutex);
    overrideDir = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
}

} // namespace AppFolders
