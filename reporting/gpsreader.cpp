#include "reporting/gpsreader.h"

#include "core/logger.h"

#include <QDebug>
#include <QMetaEnum>
#include <QSerialPortInfo>

namespace
{

constexpr int kLoggedLineChars = 100;

QString shortened(const QString& line)
{
    return line.size() <= kLoggedLineChars ? line : line.left(kLoggedLineChars) + QStringLiteral("...");
}

QString errorName(QSerialPort::SerialPortError error)
{
    const char* key = QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(int(error));
    return key ? QString::fromLatin1(key) : QString::number(int(error));
}

} // namespace

GpsReader::GpsReader(QObject* parent) : QObject(parent)
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        qDebug() << "Port name:" << info.portName();
        qDebug() << "Description:" << info.description();
        qDebug() << "Manufacturer:" << info.manufacturer();
        qDebug() << "System location:" << info.systemLocation();
        qDebug() << QString(35, QLatin1Char('='));
    }
    connect(&m_serial, &QSerialPort::readyRead, this, &GpsReader::readData);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &GpsReader::handleError);
}

GpsReader::~GpsReader()
{
    closePort();
}

void GpsReader::setPortParameters(const QString& portName, int baudRate)
{
    m_serial.setPortName(portName);
    m_serial.setBaudRate(baudRate, QSerialPort::AllDirections);
    m_serial.setDataBits(QSerialPort::Data8);
    m_serial.setParity(QSerialPort::NoParity);
    m_serial.setStopBits(QSerialPort::OneStop);
    m_serial.setFlowControl(QSerialPort::NoFlowControl);
}

bool GpsReader::openPort()
{
    if (m_serial.isOpen()) {
        qDebug() << "串口已经打开";
        m_serial.close();
        if (m_serial.isOpen()) {
            qDebug() << "关闭失败";
            return false;
        }
        qDebug() << "关闭成功";
    }
    m_closeQueued = false;
    m_counters = Counters();
    m_overlongSeen = 0;
    m_loggedKinds = 0;
    m_nmea.clear();
    if (!m_serial.open(QIODevice::ReadOnly)) {
        qDebug() << "无法打开串口" << m_serial.portName() << ":" << m_serial.errorString();
        Logger::instance()->log(
            QStringLiteral("GPS port %1 open failed: %2").arg(m_serial.portName(), m_serial.errorString()));
        emit portOpened(false);
        return false;
    }
    qDebug() << "已连接到" << m_serial.portName();
    emit portOpened(true);
    return true;
}

void GpsReader::closePort()
{
    if (!m_serial.isOpen())
        return;
    m_serial.close();
    qDebug() << "已关闭串口" << m_serial.portName();
    const Counters& c = m_counters;
    qDebug().noquote() << QStringLiteral("GPS %1: %2 fixes; dropped %3 with a bad checksum, %4 marked invalid, "
                                         "%5 out of range, %6 over-long lines")
                              .arg(m_serial.portName())
                              .arg(c.fixes)
                              .arg(c.badChecksum)
                              .arg(c.invalidFix)
                              .arg(c.outOfRange)
                              .arg(c.overlongLines);
    emit portOpened(false);
}

void GpsReader::readData()
{
    const QByteArray bytes = m_serial.readAll();
    const QVector<NmeaResult> results = m_nmea.feed(bytes);
    const int overlong = m_nmea.splitter().droppedLines();
    if (overlong != m_overlongSeen) {
        m_counters.overlongLines += overlong - m_overlongSeen;
        m_overlongSeen = overlong;
        noteRejected(Overlong, QStringLiteral("over-long line"),
                     QStringLiteral("more than %1 bytes without a line end").arg(NmeaLineSplitter::kMaxLineBytes));
    }
    for (const NmeaResult& r : results)
        takeResult(r);
}

void GpsReader::takeResult(const NmeaResult& result)
{
    switch (result.verdict) {
    case Nmea::Verdict::Fix:
        break;
    case Nmea::Verdict::BadChecksum:
        ++m_counters.badChecksum;
        noteRejected(Checksum, Nmea::verdictText(result.verdict), shortened(result.line));
        return;
    case Nmea::Verdict::NoFix:
        ++m_counters.invalidFix;
        noteRejected(Invalid, Nmea::verdictText(result.verdict), shortened(result.line));
        return;
    case Nmea::Verdict::OutOfRange:
        ++m_counters.outOfRange;
        noteRejected(Range, Nmea::verdictText(result.verdict), shortened(result.line));
        return;
    case Nmea::Verdict::NoPosition:
    case Nmea::Verdict::Ignored:
        return;
    }

    const GpsData& d = result.data;
    ++m_counters.fixes;
    m_loggedKinds = 0;
    qDebug() << "Time:" << d.time.toString(Qt::ISODate);
    qDebug() << "Lat:" << d.latitude;
    qDebug() << "Lon:" << d.longitude;
    qDebug() << "Speed(kph):" << d.speedKph;
    qDebug() << "altitude:" << d.altitude;
    qDebug() << "satelliteCount:" << d.satellites;
    emit newGpsData(d.latitude, d.longitude, d.altitude, d.satellites);
}

void GpsReader::noteRejected(Rejection kind, const QString& reason, const QString& what)
{
    if (m_loggedKinds & kind)
        return;
    m_loggedKinds |= kind;
    qDebug().noquote() << QStringLiteral("GPS sentence dropped (%1): %2; more of the kind are only counted until the "
                                         "next fix")
                              .arg(reason, what);
}

void GpsReader::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    if (m_closeQueued) {
        ++m_counters.suppressedErrors;
        return;
    }
    qDebug() << "串口错误:" << m_serial.errorString() << errorName(error);
    const bool readFailed = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!readFailed || !m_serial.isOpen())
        return;
    // A port that fails to read has usually gone away (unplugged receiver);
    // left open it reports the failure again on every notification. Closed
    // once control is back in the event loop, not inside the port's signal.
    m_closeQueued = true;
    Logger::instance()->log(QStringLiteral("GPS port %1 error %2 (%3); port closed")
                                .arg(m_serial.portName(), errorName(error), m_serial.errorString()));
    QMetaObject::invokeMethod(
        this,
        [this] {
            closePort();
            m_closeQueued = false;
        },
        Qt::QueuedConnection);
}

void GpsReader::parseSentence(const QString& line, GpsData& data)
{
    Nmea::parseSentence(line, data);
}

double GpsReader::nmeaToDegrees(const QString& value, const QString& hemisphere)
{
    return Nmea::toDegrees(value, hemisphere);
}

QDateTime GpsReader::nmeaToDateTime(const QString& hhmmss, const QString& ddmmyy)
{
    return Nmea::toDateTime(hhmmss, ddmmyy);
}
