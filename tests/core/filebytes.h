#pragma once
// A file's bytes, for tests that compare what was written; empty when it
// cannot be read.

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A file of the source tree (TERVAL_SOURCE_DIR), by its path there.
inline QByteArray sourceFileBytes(const QString& relativePath)
{
    return fileBytes(qEnvironmentVariable("TERVAL_SOURCE_DIR") + QLatin1Char('/') + relativePath);
}
