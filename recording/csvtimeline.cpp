#include "recording/csvtimeline.h"

QString CsvTimeLine::timeText(qint64 msSinceEpoch, int dataFrequency)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC);
    return t.toString(dataFrequency == 1 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm:ss.zzz"));
}

QDateTime CsvTimeLine::nextMidnightAfter(const QDateTime& utc)
{
    return QDateTime(utc.toUTC().date().addDays(1), QTime(0, 0), Qt::UTC);
}

QDateTime CsvTimeLine::nextHourAfter(const QDateTime& utc)
{
    const QDateTime later = utc.toUTC().addSecs(3600);
    return QDateTime(later.date(), QTime(later.time().hour(), 0), Qt::UTC);
}

void CsvTimeLine::setBoundaries(const QDateTime& utc)
{
    m_nextMidnight = nextMidnightAfter(utc);
    m_nextHour = nextHourAfter(utc);
}

qint64 CsvTimeLine::anchor(const QDateTime& utc)
{
    const qint64 clockMs = utc.toMSecsSinceEpoch();
    const qint64 nextMs = m_startMs + m_elapsedMs;
    qint64 back = 0;
    if (!m_stamped || clockMs >= nextMs)
        m_startMs = clockMs;
    else if (nextMs - clockMs <= kMaxLeadMs)
        m_startMs = nextMs;
    else {
        m_startMs = clockMs;
        back = nextMs - clockMs;
    }
    m_elapsedMs = 0;
    m_restart = false;
    m_lastCleanup = utc.toUTC();
    setBoundaries(fileStart());
    return back;
}

void CsvTimeLine::continueAcrossRollOver(const QDateTime& utc)
{
    // Re-anchoring on utc here would repeat (or skip) up to a second of
    // stamps, because the line runs about a batch ahead of the completion
    // times. Fold the elapsed time into the anchor instead.
    m_startMs += m_elapsedMs;
    m_elapsedMs = 0;
    // Boundaries from the triggering time, which is at or past the old one,
    // so the new boundary is always ahead of the clock.
    setBoundaries(utc);
}

QDateTime CsvTimeLine::rollOverBoundary(int dataFrequency) const
{
    return dataFrequency == 1000 ? m_nextHour : m_nextMidnight;
}
