#pragma once
// Process-wide flags that pages and workers on different threads hand to each
// other without signals. Each group has its own mutex; lock exactly that one
// (a scoped locker) around each access and never hold two of them.

#include <QMutex>
#include <QMutexLocker>
#include <QtGlobal>

class GlobalState
{
public:
    static GlobalState& instance()
    {
        static GlobalState state; // thread-safe lazy initialisation
        return state;
    }

    QMutex measTimeMutex;
    int measTime = 0; // vector spectrum window, s

    QMutex newFileMutex;
    bool newFileRequest = true; // recording worker starts a new time line

    QMutex frameErrorMutex;
    bool vectorFrameError = false;

    QMutex pendingStatusMutex;
    int pendingStatusCode = -1;
    qint64 pendingStatusTime = 0; // s since epoch, UTC
    bool hasPendingStatus = false;

    QMutex workStatusMutex;
    int workStatus = 0; // last valid progress status 0-4 (4 = measuring)
    // Bumped at every change of workStatus, so that a reader that looks only
    // now and then still learns that the status left a value and came back.
    quint64 workStatusChanges = 0;

    QMutex statusValidMutex;
    bool statusValid = true;

    // Sets workStatus under its mutex, counting a change.
    void setWorkStatus(int status)
    {
        QMutexLocker lock(&workStatusMutex);
        if (workStatus != status)
            ++workStatusChanges;
        workStatus = status;
    }

    GlobalState(const GlobalState&) = delete;
    GlobalState& operator=(const GlobalState&) = delete;

private:
    GlobalState() = default;
};
