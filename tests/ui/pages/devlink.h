#pragma once
// Port names that start with "tty" open below /dev, so a pty gets a name
// there (a link, removed again) that the operator's port menu can carry.
// Without a writable /dev (not root) ok stays false and the test opens the
// pty by its path instead.

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QString>

class DevLink
{
public:
    // prefix keeps the names of different tests apart.
    DevLink(const QString& target, const QString& prefix)
        : name(prefix + QString::number(QCoreApplication::applicationPid())), path(QStringLiteral("/dev/") + name)
    {
        QFile::remove(path);
        ok = QFile::link(QFileInfo(target).canonicalFilePath(), path);
    }
    ~DevLink()
    {
        if (ok)
            QFile::remove(path);
    }
    DevLink(const DevLink&) = delete;
    DevLink& operator=(const DevLink&) = delete;

    QString name;
    QString path;
    bool ok = false;
};
