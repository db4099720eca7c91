// The device identity in "server.ini": what a start reads from files written
// by hand or left malformed, and that a registration's identity is stored
// and read back exactly whatever the file held before.

#include "reporting/serveridentity.h"
#include "reporting/serveruploadrecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString kGuid = QStringLiteral("123e4567-e89b-12d3-a456-426614174000");

} // namespace

class TestServerIdentity : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void read_data();
    void read();
    void writeOverAnyFile_data();
    void writeOverAnyFile();

private:
    // A fresh file name per case: QSettings keeps what it has read of a
    // path and takes a rewritten file of the same size and time for unchanged.
    QString freshPath();

    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestServerIdentity::init()
{
    QVERIFY(m_dir.isValid());
}

QString TestServerIdentity::freshPath()
{
    return m_dir.filePath(QStringLiteral("server%1.ini").arg(++m_files));
}

void TestServerIdentity::read_data()
{
    QTest::addColumn<QByteArray>("file"); // null: no file
    QTest::addColumn<QString>("guid");
    QTest::addColumn<int>("state");
    QTest::newRow("no file") << QByteArray() << QString() << int(Unregistered);
    QTest::newRow("written by the client")
        << QByteArray("[Server]\nGUID=" + kGuid.toLatin1() + "\n") << kGuid << int(Registered);
    QTest::newRow("by hand, blanks and CR LF")
        << QByteArray("[Server]\r\n  GUID =  " + kGuid.toLatin1() + "  \r\n") << kGuid << int(Registered);
    QTest::newRow("35 characters") << QByteArray("[Server]\nGUID=" + kGuid.toLatin1().left(35) + "\n") << kGuid.left(35)
                                   << int(Disabled);
    QTest::newRow("37 characters") << QByteArray("[Server]\nGUID=" + kGuid.toLatin1() + "0\n") << kGuid + "0"
                                   << int(Disabled);
    QTest::newRow("another group only") << QByteArray("[Sensitivity]\nGUID=" + kGuid.toLatin1() + "\n") << QString()
                                        << int(Unregistered);
    QTest::newRow("malformed") << QByteArray("123e45!!!!") << QString() << int(Unregistered);
}

void TestServerIdentity::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, guid);
    QFETCH(int, state);
    const QString path = freshPath();
    if (!file.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    QCOMPARE(ServerIdentity::read(path), guid);
    QCOMPARE(ServerIdentity::startState(ServerIdentity::read(path)), state);
}

void TestServerIdentity::writeOverAnyFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("guid");
    QTest::newRow("no file") << QByteArray() << kGuid;
    QTest::newRow("an old identity") << QByteArray("[Server]\nGUID=abc\n") << kGuid;
    // QSettings reports a format error for what it could not read; the
    // identity is written all the same and must not be reported as lost.
    QTest::newRow("malformed file") << QByteArray("123e45!!!!") << kGuid;
    QTest::newRow("NUL bytes") << QByteArray("[Server]\nGUID=12\0\0`p\n", 21) << kGuid;
    QTest::newRow("characters INI escapes")
        << QByteArray("[Server]\nGUID=x\n") << QStringLiteral("\"a,b\";=%\\\u00e9\u4e2d\t#[x]@Variant(1)");
}

void TestServerIdentity::writeOverAnyFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, guid);
    const QString path = freshPath();
    if (!before.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    QVERIFY(ServerIdentity::write(path, guid));

    // Read back as the next start would: by a new process, so by a copy
    // under a name QSettings has not seen.
    const QString copy = freshPath();
    QVERIFY(QFile::copy(path, copy));
    QCOMPARE(ServerIdentity::read(copy), guid);
}

QTEST_GUILESS_MAIN(TestServerIdentity)
#include "tst_serveridentity.moc"
