#pragma once
// Debug lines of every thread, kept for a test program's checks and passed
// on to the handler that was installed before.

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace linecapture_detail
{
inline QMutex mutex;
inline QStringList lines;
inline QtMessageHandler previous = nullptr;
inline QString quietPrefix;

inline void keep(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    {
        QMutexLocker locker(&mutex);
        lines << msg;
    }
    if (previous && (quietPrefix.isEmpty() || !msg.startsWith(quietPrefix)))
        previous(type, ctx, msg);
}
} // namespace linecapture_detail

// Starts keeping lines (initTestCase). Lines that start with quietPrefix are
// kept but not passed on.
inline void installLineCapture(const QString& quietPrefix = QString())
{
    linecapture_detail::quietPrefix = quietPrefix;
    linecapture_detail::previous = qInstallMessageHandler(linecapture_detail::keep);
}

// The lines kept so far; forgets them.
inline QStringList takeLines()
{
    QMutexLocker locker(&linecapture_detail::mutex);
    QStringList copy = linecapture_detail::lines;
    linecapture_detail::lines.clear();
    return copy;
}

inline QStringList linesNow()
{
    QMutexLocker locker(&linecapture_detail::mutex);
    return linecapture_detail::lines;
}

// The first of lines that contains needle, or -1.
inline int indexOfLine(const QStringList& lines, const QString& needle)
{
    for (int i = 0; i < lines.size(); ++i)
        if (lines.at(i).contains(needle))
            return i;
    return -1;
}
