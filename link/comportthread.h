#pragma once
// Lists the machine's serial ports once a second on a thread of its own and
// hands the names, in reverse enumeration order, to whoever listens.

#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

class QThread;
class QTimer;

class ComPortThread : public QObject
{
    Q_OBJECT
public:
    explicit ComPortThread(QObject* parent = nullptr);
    ~ComPortThread() override;

signals:
    void sig_setPortNamelist(QList<QString> list);

public slots:
    void slots_startTimer();
    void slots_stopTimer();
    void updateComProtList();

private:
    QThread* workerThread = nullptr;
    QTimer* pollTimer = nullptr;
};

// The ports' names in the order of the port menu (see core/portnames.h).
QStringList reversedPortNames(const QList<QSerialPortInfo>& ports);
