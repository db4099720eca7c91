// The port-list poller on its own thread: the list it hands on and its timer.

#include <QtTest>

#include "core/types.h"
#include "link/comportthread.h"

class TestComPortThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerSharedMetaTypes(); }
    void listIsInReverseEnumerationOrder_data();
    void listIsInReverseEnumerationOrder();
    void timerPollsOnlyWhileStarted();
};

void TestComPortThread::listIsInReverseEnumerationOrder_data()
{
    // The ports as the system enumerates them, and the list handed on.
    QTest::addColumn<QStringList>("enumerated");
    QTest::addColumn<QStringList>("handedOn");
    QTest::newRow("COM1, COM3") << QStringList{"COM1", "COM3"} << QStringList{"COM3", "COM1"};
    QTest::newRow("three") << QStringList{"ttyS0", "ttyUSB0", "ttyACM1"} << QStringList{"ttyACM1", "ttyUSB0", "ttyS0"};
    QTest::newRow("one") << QStringList{"COM7"} << QStringList{"COM7"};
    QTest::newRow("none") << QStringList{} << QStringList{};
}

// Fixed ports in place of the machine's, so that the order is checked on a
// machine with none as well.
void TestComPortThread::listIsInReverseEnumerationOrder()
{
    QFETCH(QStringList, enumerated);
    QFETCH(QStringList, handedOn);
    ComPortThread poller;
    poller.setPortSource([enumerated]() {
        QList<ComPortThread::PortEntry> ports;
        for (const QString& name : enumerated)
            ports.append({name, QStringLiteral("port ") + name});
        return ports;
    });
    QList<QList<QString>> lists;
    QObject context;
    QObject::connect(&poller, &ComPortThread::sig_setPortNamelist, &context,
                     [&](QList<QString> list) { lists << list; });
    QMetaObject::invokeMethod(&poller, "updateComProtList", Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(lists.size(), 1, 3000);
    QCOMPARE(QStringList(lists[0]), handedOn);
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
    QTRY_COMPARE_WITH_TIMEOUT(lists, 2, 10000);
    // Once the worker has taken the stop, a list it made just before is
    // already posted here: take it in, however slowly the machine runs.
    QMetaObject::invokeMethod(&poller, "slots_stopTimer", Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
    const int stoppedAt = lists;
    QTest::qWait(1300);
    QCOMPARE(lists, stoppedAt);
}

QTEST_GUILESS_MAIN(TestComPortThread)
#include "tst_comportthread.moc"
