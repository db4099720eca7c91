// The port-list poller on its own thread: the list it hands on and its timer.

#include <QSerialPortInfo>
#include <QtTest>

#include "core/types.h"
#include "link/comportthread.h"

#include <algorithm>

class TestComPortThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerSharedMetaTypes(); }
    void listIsInReverseEnumerationOrder();
    void timerPollsOnlyWhileStarted();
};

void TestComPortThread::listIsInReverseEnumerationOrder()
{
    ComPortThread poller;
    QList<QList<QString>> lists;
    QObject context;
    QObject::connect(&poller, &ComPortThread::sig_setPortNamelist, &context,
                     [&](QList<QString> list) { lists << list; });
    QMetaObject::invokeMethod(&poller, "updateComProtList", Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(lists.size(), 1, 3000);

    QList<QString> expected;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        expected << info.portName();
    std::reverse(expected.begin(), expected.end());
    QCOMPARE(lists[0], expected);
}

void TestComPortThread::timerPollsOnlyWhileStarted()
{
    ComPortThread poller;
    int lists = 0;
    QObject context;
    QObject::connect(&poller, &ComPortThread::sig_setPortNamelist, &context, [&](QList<QString>) { ++lists; });

    QMetaObject::invokeMethod(&poller, "slots_stopTimer", Qt::QueuedConnection);
    QTest::qWait(1300);
    QCOMPARE(lists, 0);

    QMetaObject::invokeMethod(&poller, "slots_startTimer", Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(lists, 2, 3000);
    QMetaObject::invokeMethod(&poller, "slots_stopTimer", Qt::QueuedConnection);
    QTest::qWait(100);
    const int stoppedAt = lists;
    QTest::qWait(1300);
    QCOMPARE(lists, stoppedAt);
}

QTEST_GUILESS_MAIN(TestComPortThread)
#include "tst_comportthread.moc"
