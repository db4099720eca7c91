// The INI format of "config.ini" and "server.ini": it reads every file that
// Qt's own INI format reads safely to the same texts (Qt's format is the
// oracle: quotes, escapes, lists, comments, continued lines, line ends,
// byte-order mark, group and key escapes), reads "@" values as text where
// Qt would decode them (and crash on a malformed one), and writes files
// that Qt's format reads back to the same texts, byte for byte as Qt
// writes them for the program's own keys.
#include "core/textini.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// Every value as a list of texts: a QString is one text, a list its items.
using Texts = QMap<QString, QStringList>;

QStringList textsOf(const QVariant& v)
{
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList();
    if (v.userType() == QMetaType::QString)
        return {v.toString()};
    return {QStringLiteral("<type %1>").arg(QLatin1String(v.typeName()))};
}

Texts textsOf(const QSettings::SettingsMap& map)
{
    Texts out;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out.insert(it.key(), textsOf(it.value()));
    return out;
}

} // namespace

class TestTextIni : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readsAsQtDoes_data();
    void readsAsQtDoes();
    void atValuesStayText_data();
    void atValuesStayText();
    void problemsNamed();
    void writtenFilesReadBack_data();
    void writtenFilesReadBack();
    void programWritesLikeQt_data();
    void programWritesLikeQt();
    void throughQSettings();

private:
    // A file of its own for each read: QSettings keeps the files it has
    // read, whatever their format.
    QString freshFile(const QByteArray& content);
    Texts qtReads(const QByteArray& content);

    QTemporaryDir m_dir;
    int m_serial = 0;
};

void TestTextIni::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestTextIni::freshFile(const QByteArray& content)
{
    const QString path = m_dir.filePath(QStringLiteral("f%1.ini").arg(++m_serial));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return QString();
    return path;
}

Texts TestTextIni::qtReads(const QByteArray& content)
{
    QSettings qt(freshFile(content), QSettings::IniFormat);
    Texts out;
    for (const QString& key : qt.allKeys())
        out.insert(key, textsOf(qt.value(key)));
    return out;
}

void TestTextIni::readsAsQtDoes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("default config") << QByteArray("[Sensitivity]\nxAxisUpper=150\nyAxisLower=1e-5\nyAxisUpper=1\n"
                                                  "isTest=0\n\n[Com]\nbaudRate=921600\n\n[Server]\nisServer=0\n"
                                                  "GPSCom=/dev/ttyUSB1\n");
    QTest::newRow("blanks") << QByteArray("  [ T ]  \n   lead = 2  \nmy key = a b \ni=\tval\t\n");
    QTest::newRow("quotes") << QByteArray("[S]\nc=\"x,y\"\ng=\"  a  \"\nd = \"x\" y \"z\"\ne=x \"y\" z\n"
                                          "s=\"a;b\"\np=\",\";r\n");
    QTest::newRow("escapes") << QByteArray("[S]\nj=a\\tb\\nc\\r\\a\\b\\f\\v\nk=\\q\\?\\'\\\"\\\\\no=\\\"\\,q\n"
                                           "t=\\0\\1\\8z\n");
    QTest::newRow("hex and octal") << QByteArray("[S]\nh=\\x41\\x42G\ni=\\x414243\nu=\\xfffff\nv=\\x10000\n"
                                                 "w=\\x\nk=\\xZZ\nj=\\7\\77\\777\\7777\ns=\\x00410\n"
                                                 "f=\\x4e2d\\x6587\n");
    QTest::newRow("lists") << QByteArray("[S]\nb=x,y\nf=  a  ,  b  \nm=\"a\" , \"b\"\nq=,\nh= ,x\n"
                                         "g=x,\"y\"z, w ,\nl=  \"a\"  ,  \"b\"  \n");
    QTest::newRow("comments") << QByteArray("; first\n[S]\na=1 ; comment\nb=x;y,z\n;c=1\n #d=2\n"
                                            "e=1 ;say \"x\nf=2\n");
    QTest::newRow("continued lines") << QByteArray("[S]\nl=a\\\n   b\nm=a\\\r\nn=1\nw=\"a\\\nb\"\nx=a\\\\\ny=1\n");
    QTest::newRow("line ends") << QByteArray("[S]\r\na=1\r\nb=2\rc=3\n\r\nd=4");
    QTest::newRow("quote over lines") << QByteArray("[S]\nk=\"a\n\nb\"\nz=1\nc=\"x\nd=2\n[T]\ne=3\n");
    QTest::newRow("quote over CR LF lines") << QByteArray("[S]\r\nk=\"a\r\nb\"\r\nz=1\r\n");
    QTest::newRow("equals in value") << QByteArray("[V]\np==q\nr=a=b\nn=\n");
    QTest::newRow("groups") << QByteArray("top=1\n[General]\nh=7\n[%General]\ngen=2\n[a%2Fb]\nz=1\n[x/y]\nw=1\n"
                                          "[U]junk\nn=1\n[T4]]\nu=1\n[S]\na=1\n[S]\nb=2\na=dup\n");
    QTest::newRow("general in any case") << QByteArray("[general]\na=1\n[GENERAL]\nb=1\n[%general]\nc=1\n"
                                                       "[%GENERAL]\nd=1\n[%47eneral]\nf=1\n");
    QTest::newRow("key escapes") << QByteArray("[S]\nk%20sp=1\nf\\g=6\nx%U4E2D=3\n\"e\"=4\n");
    QTest::newRow("no equals") << QByteArray("[S]\nalone\na=1\n");
    QTest::newRow("latin-1 bytes") << QByteArray("[S]\na=\xc3\xa9\nb=\xe9\n\xc3\xa9k=1\n[\xc3\xa9]\nz=1\n");
    QTest::newRow("utf-8 after BOM") << QByteArray("\xef\xbb\xbf[S]\r\na=\xc3\xa9\r\nb=\\xe9\r\n");
    QTest::newRow("backslash at end") << QByteArray("[S]\nz=x\\");
    QTest::newRow("white space") << QByteArray("[S]\na=x\t\nb=x\v\nc=\vx\nd=x\f\nf=x\\t\ng=x\\t \nh=x\\x20\n"
                                               "j=x \t \nk=\"x\" \t\nl=a\t,\tb\nm=  \n\vn\f=1\n \v[T]\nz=1\n");
    QTest::newRow("nul bytes") << QByteArray("[S]\na=x\0y\nb\0c=1\n", 16);
}

void TestTextIni::readsAsQtDoes()
{
    QFETCH(QByteArray, file);
    const Texts ours = textsOf(TextIni::parse(file).map);
    const Texts qt = qtReads(file);
    QCOMPARE(ours.keys(), qt.keys());
    for (auto it = qt.cbegin(); it != qt.cend(); ++it)
        QVERIFY2(ours.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: [%2] here, [%3] in Qt")
                                .arg(it.key(), ours.value(it.key()).join('|'), it.value().join('|'))));
}

void TestTextIni::atValuesStayText_data()
{
    // What Qt's format would decode as serialized Qt values.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("texts");
    const QByteArray variant = QByteArray("@Variant(") + QByteArray(3, '\0') + "Genx7f)";
    QTest::newRow("malformed variant") << QByteArray("[Sensitivity]\nother=@Variant(\\0\\0\\0\\[Genx7f)\n")
                                       << "Sensitivity/other" << int(QMetaType::QByteArray)
                                       << QStringList{QString::fromUtf8(variant.constData(), variant.size())};
    QTest::newRow("quoted") << QByteArray("[S]\nk=\"@ByteArray(x)\"\n") << "S/k" << int(QMetaType::QByteArray)
                            << QStringList{"@ByteArray(x)"};
    QTest::newRow("escaped at") << QByteArray("[S]\nk=\\x40Rect(1 2 3 4)\n") << "S/k" << int(QMetaType::QByteArray)
                                << QStringList{"@Rect(1 2 3 4)"};
    QTest::newRow("invalid") << QByteArray("[S]\nk=@Invalid()\n") << "S/k" << int(QMetaType::QByteArray)
                             << QStringList{"@Invalid()"};
    QTest::newRow("doubled at is text") << QByteArray("[S]\nk=@@Variant(x)\n") << "S/k" << int(QMetaType::QString)
                                        << QStringList{"@Variant(x)"};
    QTest::newRow("three at") << QByteArray("[S]\nk=@@@x\n") << "S/k" << int(QMetaType::QString) << QStringList{"@@x"};
    QTest::newRow("in a list") << QByteArray("[S]\nk=a,@Variant(\\0),@@b\n") << "S/k" << int(QMetaType::QStringList)
                               << QStringList{"a", QStringLiteral("@Variant(") + QChar(0) + ")", "@b"};
}

void TestTextIni::atValuesStayText()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(int, type);
    QFETCH(QStringList, texts);
    const QVariant v = TextIni::parse(file).map.value(key);
    QCOMPARE(v.userType(), type);
    const QStringList got = type == QMetaType::QByteArray
                                ? QStringList{QString::fromUtf8(v.toByteArray().constData(), v.toByteArray().size())}
                                : textsOf(v);
    QCOMPARE(got, texts);

    // Written back, the value is text for Qt's format too; it decodes nothing.
    const QByteArray written = TextIni::serialize(TextIni::parse(file).map);
    QCOMPARE(qtReads(written).value(key), texts);
    QCOMPARE(textsOf(TextIni::parse(written).map.value(key)), texts);
}

void TestTextIni::problemsNamed()
{
    const TextIni::Parsed p = TextIni::parse("[S]\nalone\na=1\n=5\n[T\nb=\"open\nc=2\n");
    QCOMPARE(p.problems, (QStringList{"line 2: no '=', skipped", "line 4: no key before '=', skipped",
                                      "line 5: group header without ']'",
                                      "line 6: quote not closed; the value runs to the end of the file"}));
    QCOMPARE(p.map.value("S/a").toString(), QStringLiteral("1"));
    QCOMPARE(p.map.value("T/b").toString(), QStringLiteral("open\nc=2\n"));
    QVERIFY(TextIni::parse(TextIni::serialize(p.map)).problems.isEmpty());
}

void TestTextIni::writtenFilesReadBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "123e4567-e89b-12d3-a456-426614174000";
    QTest::newRow("empty") << "";
    QTest::newRow("separators") << "a,b;c=d";
    QTest::newRow("blanks at ends") << "  a  ";
    QTest::newRow("quotes and backslashes") << "say \"hi\" \\ there\\";
    QTest::newRow("control characters") << QStringLiteral("a\tb\nc\rd") + QChar(1) + QChar(0x1F) + QChar(0x7F);
    QTest::newRow("nul before digits") << QStringLiteral("x") + QChar(0) + QStringLiteral("12ab");
    QTest::newRow("escape before hex letters") << QStringLiteral("\x01") + QStringLiteral("face");
    QTest::newRow("latin-1 and wider") << QStringLiteral("é中文ß");
    QTest::newRow("at") << "@Variant(x)";
    QTest::newRow("double at") << "@@x";
    QTest::newRow("semicolon comment look") << "; not a comment";
    QTest::newRow("continuation look") << "a\\";
}

void TestTextIni::writtenFilesReadBack()
{
    QFETCH(QString, text);
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("Server/GUID"), text);
    map.insert(QStringLiteral("Server/list"), QStringList{text, QStringLiteral("b")});
    map.insert(QStringLiteral("top"), text);
    map.insert(QStringLiteral("General/k"), text);
    map.insert(QStringLiteral("general/k"), text);
    map.insert(QStringLiteral("odd group;[x]/odd key=1"), text);
    const QByteArray written = TextIni::serialize(map);
    for (const char c : written)
        QVERIFY2(c == '\n' || (c >= 0x20 && c < 0x7F), written.constData());
    QCOMPARE(textsOf(TextIni::parse(written).map), textsOf(map));
    QCOMPARE(qtReads(written), textsOf(map));
    QVERIFY(TextIni::parse(written).problems.isEmpty());
}

void TestTextIni::programWritesLikeQt_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    const QByteArray config = "[Sensitivity]\nxAxisUpper=150\nyAxisLower=1e-5\nyAxisUpper=1\nbandWidth=15\n"
                              "isTest=0\nisMockData=1\nisFSMode=0\nisChinese=0\n\n[Com]\nbaudRate=921600\n\n"
                              "[Server]\nisServer=0\nisExistGPS=0\nGPSCom=/dev/ttyUSB1\n";
    QTest::newRow("baud rate") << config << "Com/baudRate" << QVariant(115200);
    QTest::newRow("language") << config << "Sensitivity/isChinese" << QVariant(1);
    QTest::newRow("into no file") << QByteArray() << "Com/baudRate" << QVariant(921600);
    QTest::newRow("identity") << QByteArray() << "Server/GUID" << QVariant("123e4567-e89b-12d3-a456-426614174000");
    QTest::newRow("identity over old") << QByteArray("[Server]\nGUID=old\n") << "Server/GUID" << QVariant("a,b \"c\"");
}

void TestTextIni::programWritesLikeQt()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QByteArray written[2];
    const QSettings::Format formats[2] = {TextIni::format(), QSettings::IniFormat};
    for (int k = 0; k < 2; ++k) {
        const QString path =
            before.isNull() ? m_dir.filePath(QStringLiteral("new%1.ini").arg(++m_serial)) : freshFile(before);
        {
            QSettings s(path, formats[k]);
            s.setValue(key, value);
            s.sync();
            QCOMPARE(s.status(), QSettings::NoError);
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        written[k] = f.readAll();
    }
    QCOMPARE(written[0], written[1]);
}

void TestTextIni::throughQSettings()
{
    // A group, a setValue and a rewrite through QSettings keep every other
    // line's key and text, the unreadable one included (as text).
    const QString path = freshFile("[Sensitivity]\nisTest=1\nother=@Variant(\\0\\0\\0\\[Genx7f)\n"
                                   "[Com]\nbaudRate=921600\n[Server]\nGPSCom=\"COM4, COM5\"\n");
    {
        QSettings s(path, TextIni::format());
        QCOMPARE(s.value("Sensitivity/isTest").toString(), QStringLiteral("1"));
        QCOMPARE(s.value("Sensitivity/other").userType(), int(QMetaType::QByteArray));
        s.beginGroup("Com");
        s.setValue("baudRate", 115200);
        s.endGroup();
        s.sync();
        QCOMPARE(s.status(), QSettings::NoError);
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    QCOMPARE(written, QByteArray("[Com]\nbaudRate=115200\n\n[Sensitivity]\nisTest=1\nother=@@Variant(\\0\\0\\0Genx7f)"
                                 "\n\n[Server]\nGPSCom=\"COM4, COM5\"\n"));
    const Texts qt = qtReads(written);
    QCOMPARE(qt.value("Sensitivity/other"),
             QStringList{QStringLiteral("@Variant(") + QString(3, QChar(0)) + "Genx7f)"});
    QCOMPARE(qt.value("Server/GPSCom"), QStringList{"COM4, COM5"});
}

QTEST_GUILESS_MAIN(TestTextIni)
#include "tst_textini.moc"
