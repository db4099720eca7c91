#pragma once
// Lists the machine's serial ports once a second on a thread of its own and
// hands the names, in reverse enumeration order, to whoever listens.

#include <QList>
#include <QMutex>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

#include <functional>

class QThread;
class QTimer;

class ComPortThread : public QObject
{
    Q_OBJECT
public:
    // One port as the system enumerates it.
    struct PortEntry {
        QString name;
        QString description;
    };
    // The machine's ports in the system's enumeration order.
    using PortSource = std::function<QList<PortEntry>()>;

    explicit ComPortThread(QObject* parent = nullptr);
    ~ComPortThread() override;

    // Test seam: where the ports come from (empty: the system's
    // QSerialPortInfo::availablePorts()). Safe from any thread.
    void setPortSource(PortSource source);

signals:
    void sig_setPortNamelist(QList<QString> list);

public slots:
    void slots_startTimer();
    void slots_stopTimer();
    void updateComProtList();

private:
    QThread* workerThread = nullptr;
    QTimer* pollTimer = nullptr;
    QMutex sourceMutex;
    PortSource portSource;
};

// The ports' names in the order of the port menu (see core/portnames.h).
QStringList reversedPortNames(const QList<QSerialPortInfo>& ports);
