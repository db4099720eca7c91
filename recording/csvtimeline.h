#pragma once
// The running UTC time line of the recording worker. Samples are not stamped
// from the clock: they are the anchor plus the samples counted since it
// times the step, so the time column is evenly spaced. Only an anchoring
// (recording start, new-file request) brings the line back to the clock;
// a roll-over starts a new file but keeps the line running, so the new file
// continues exactly where the old one stopped. Files are cut by the stamped
// times, so each file holds only rows of the hour or day its name gives.

#include <QDateTime>
#include <QString>

class CsvTimeLine
{
public:
    static constexpr qint64 kCleanupIntervalSecs = 86400; // clean up when more than this has passed
    static constexpr qint64 kKeepSecs = 10368000;         // 120 days
    // The most the line can run ahead of the clock by itself: an anchoring
    // clock further behind the line than this was set back, and is followed.
    static constexpr qint64 kMaxLeadMs = 60000;

    // Milliseconds between samples at a rate (1000, 50, 5, 2, 1 for 1, 20,
    // 200, 500, 1000 per second). The rate must be positive.
    static int stepMs(int dataFrequency) { return 1000 / dataFrequency; }
    // "HH:mm:ss" at 1 sample per second, "HH:mm:ss.zzz" otherwise (UTC).
    static QString timeText(qint64 msSinceEpoch, int dataFrequency);
    // 00:00:00.000 UTC of the day after utc.
    static QDateTime nextMidnightAfter(const QDateTime& utc);
    // utc + 1 h with minutes, seconds and milliseconds cleared.
    static QDateTime nextHourAfter(const QDateTime& utc);

    // The next batch re-anchors the line (initially, and at each recording start).
    bool restartPending() const { return m_restart; }
    void requestRestart() { m_restart = true; }

    // Anchors the line on a batch's completion time; also restarts the
    // clean-up day and sets both roll-over boundaries. The line never steps
    // back: its stamps run up to a batch (more after a backlog) ahead of the
    // completion times, so a completion time behind the next unstamped
    // sample continues the line from there instead. Only a clock more than
    // kMaxLeadMs behind is taken as set back and followed. Returns how far
    // the line went back to follow the clock, in ms (0 when it did not).
    qint64 anchor(const QDateTime& utc);
    // Roll-over at utc: new boundaries from utc, the line itself runs on
    // without a gap or a repeat. The clean-up day is left alone.
    void continueAcrossRollOver(const QDateTime& utc);
    // The current file is named after fileTime: its period (hour or day)
    // is the one that holds that time, whenever the line was anchored.
    void boundFileAt(const QDateTime& fileTime) { setBoundaries(fileTime); }

    // Time of the sample offsetMs after the next unstamped one, ms since the epoch.
    qint64 stampMs(qint64 offsetMs) const { return m_startMs + m_elapsedMs + offsetMs; }
    void advance(qint64 ms)
    {
        m_elapsedMs += ms;
        m_stamped = m_stamped || ms > 0;
    }

    // The next whole UTC hour at 1000 samples per second, else the next UTC midnight.
    QDateTime rollOverBoundary(int dataFrequency) const;
    bool rollOverDue(const QDateTime& utc, int dataFrequency) const { return !(utc < rollOverBoundary(dataFrequency)); }
    // The vector path rolls over at every whole hour.
    bool hourlyRollOverDue(const QDateTime& utc) const { return !(utc < m_nextHour); }

    bool cleanupDue(const QDateTime& utc) const { return m_lastCleanup.secsTo(utc) > kCleanupIntervalSecs; }
    void markCleanup(const QDateTime& utc) { m_lastCleanup = utc.toUTC(); }
    static QDateTime cleanupLimit(const QDateTime& utc) { return utc.toUTC().addSecs(-kKeepSecs); }

    QDateTime fileStart() const { return QDateTime::fromMSecsSinceEpoch(m_startMs, Qt::UTC); }
    qint64 elapsedMs() const { return m_elapsedMs; }
    QDateTime nextMidnight() const { return m_nextMidnight; }
    QDateTime nextHour() const { return m_nextHour; }
    QDateTime lastCleanup() const { return m_lastCleanup; }

private:
    void setBoundaries(const QDateTime& utc);

    qint64 m_startMs = 0;
    qint64 m_elapsedMs = 0;
    bool m_stamped = false; // samples have been stamped on the line
    bool m_restart = true;
    QDateTime m_lastCleanup;
    QDateTime m_nextMidnight;
    QDateTime m_nextHour;
};
