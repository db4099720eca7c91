#pragma once
// How many lines of the application's log file (or of another text file)
// contain a text: tests compare it before and after to see a line written
// once and only once.

#include "core/logger.h"

#include <QFile>
#include <QString>

inline int appLogCount(const QString& needle, const QString& path = QString())
{
    QFile file(path.isEmpty() ? Logger::instance()->currentFileName() : path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    int n = 0;
    while (!file.atEnd())
        if (QString::fromUtf8(file.readLine()).contains(needle))
            ++n;
    return n;
}
