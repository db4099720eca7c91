// The device identity in "server.ini": what a start reads from files written
// by hand or left malformed, and that a registration's identity is stored
// and read back exactly whatever the file held before.

#include "core/filebytes.h"
#include "core/textini.h"
#include "reporting/serveridentity.h"
#include "reporting/serveruploadrecord.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString kGuid = QStringLiteral("123e4567-e89b-12d3-a456-426614174000");

// A file that made Qt's own INI format crash, found by fuzzing; its first
// byte belongs to the fuzz target.
QByteArray fuzzFind(const char* name)
{
    const QByteArray bytes = sourceFileBytes(QStringLiteral("tests/fuzz/corpus/server_ini/") + QLatin1String(name));
    return bytes.isEmpty() ? QByteArray("missing fuzz find") : bytes.mid(1);
}

// A value's texts; a serialized value that was kept is written back as text.
QStringList textsOf(const QVariant& v)
{
    if (v.userType() == QMetaType::QByteArray)
        return {QString::fromUtf8(v.toByteArray().constData(), v.toByteArray().size())};
    return v.toStringList();
}

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
    // Values Qt's format would decode as serialized Qt types.
    QTest::newRow("serialized identity") << QByteArray("[Server]\nGUID=@Variant(\\0\\0\\0\\[Genx7f)\n") << QString()
                                         << int(Unregistered);
    QTest::newRow("identity as a list") << QByteArray("[Server]\nGUID=a,b\n") << QString() << int(Unregistered);
    QTest::newRow("first fuzz find") << fuzzFind("find-variant-1") << QStringLiteral("a,b") << int(Disabled);
    QTest::newRow("second fuzz find") << fuzzFind("find-variant-2") << QString() << int(Unregistered);
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
    QTest::newRow("first fuzz find") << fuzzFind("find-variant-1") << kGuid;
    QTest::newRow("second fuzz find") << fuzzFind("find-variant-2") << kGuid;
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

    // Every other key the file held is still there with its text, and
    // Qt's own INI format (other programs, older builds) reads the file.
    const QSettings::SettingsMap old = TextIni::parse(before).map;
    const QSettings::SettingsMap now = TextIni::parse(fileBytes(path)).map;
    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        if (it.key() == QLatin1String("Server/GUID"))
            continue;
        QVERIFY2(now.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(textsOf(now.value(it.key())), textsOf(it.value()));
    }
    const QString qtCopy = freshPath();
    QVERIFY(QFile::copy(path, qtCopy));
    QSettings qt(qtCopy, QSettings::IniFormat);
    QCOMPARE(qt.value(QStringLiteral("Server/GUID")).toString(), guid);
    QCOMPARE(qt.allKeys().size(), now.size());
}

QTEST_GUILESS_MAIN(TestServerIdentity)
#include "tst_serveridentity.moc"
