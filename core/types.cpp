#include "core/types.h"

#include <QMutex>

const QMap<int, QString> DeviceCodeMap = {{0, QStringLiteral("RQ")}, {1, QStringLiteral("FID")}, {2, QStringLiteral("FID")}};

static QMap<int, int> buildRateStrideMap()
{
    // Inserted pair by pair in this order; the repeated 1000 leaves one entry.
    const int pairs[][2] = {{1, 1}, {20, 20}, {200, 200}, {1000, 1000}, {42, 41},
                            {100, 100}, {111, 111}, {500, 500}, {1000, 1000}};
    QMap<int, int> map;
    for (const auto& p : pairs)
        map.insert(p[0], p[1]);
    return map;
}
const QMap<int, int> RateStrideMap = buildRateStrideMap();

const QString MsgConnectComSuccess =
    QStringLiteral("Connect Com success. SetType: VCSEL = %1 , VCSEL Default = %2 , VaporCell = %3.");
const QString MsgBatteryState = QStringLiteral("battery State:");
const QString MsgBatteryStateRead = QStringLiteral(
    "battery State: %1 . ReadType: VCSEL = %2 , VCSEL Default = %3 , VaporCell = %4 , PD = %5 , PDE = %6.");
const QString MsgNegativeRootInDenominator = QString::fromUtf8("分母中根号下出现负数:");

void registerMainMetaTypes()
{
    qRegisterMetaType<FrequencyType>("FrequencyType");
    qRegisterMetaType<QVector<FIDVectorNum>>("QVector<FIDVectorNum>");
    qRegisterMetaType<FIDVectorNum>("FIDVectorNum");
    qRegisterMetaType<FIDVectorData>("FIDVectorData");
    qRegisterMetaType<XYZST>("XYZST");
    qRegisterMetaType<QVector<XYZST>>("QVector<XYZST>");
}

void registerHubMetaTypes()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
    qRegisterMetaType<RefreshData>("RefreshData");
    qRegisterMetaType<RefreshDataEx>("RefreshDataEx");
    qRegisterMetaType<QVector<double>>("QVector<double>");
    qRegisterMetaType<QList<QString>>("QList<QString>");
    qRegisterMetaType<DataParam>("DataParam");
}

void registerSharedMetaTypes()
{
    registerMainMetaTypes();
    registerHubMetaTypes();
    // Types that travel in worker signals besides the two lists.
    qRegisterMetaType<QDateTime>("QDateTime");
    qRegisterMetaType<qlonglong>("qlonglong");
}
