// Every image named in the sources (":/…" in code, forms and style sheets)
// is compiled in and loads, and every compiled-in image is a real picture.
#include <QDirIterator>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

// Production folders only: tests may name images that must not exist.
const char* const kSourceFolders[] = {"core", "link", "processing", "recording", "ui", "resources"};

QSet<QString> namesInSources(const QString& root, QStringList* where)
{
    // ":/name.png" in code, >:/name.png< or url(:/name.png) in forms and styles
    const QRegularExpression re(QStringLiteral(R"(:/([A-Za-z0-9_%./-]+\.(?:png|ico|jpg|svg|gif)))"));
    QSet<QString> names;
    for (const char* folder : kSourceFolders) {
        QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(f.readAll());
            auto m = re.globalMatch(text);
            while (m.hasNext()) {
                const QString name = m.next().captured(1);
                // a numbered series ("battery%1") stands for its states 0 to 4
                if (name.contains(QStringLiteral("%1"))) {
                    for (int i = 0; i <= 4; ++i)
                        names.insert(QString(name).replace(QStringLiteral("%1"), QString::number(i)));
                } else {
                    names.insert(name);
                }
                *where << QDir(root).relativeFilePath(path) + QStringLiteral(": ") + name;
            }
        }
    }
    return names;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void everyNameInTheSourcesLoads();
    void everyCompiledImageIsAPicture();
    void iconHasSeveralSizes();
};

void TestResources::everyNameInTheSourcesLoads()
{
    const QString root = qEnvironmentVariable("TERVAL_SOURCE_DIR");
    if (root.isEmpty())
        QSKIP("TERVAL_SOURCE_DIR not set (run through ctest)");
    QStringList where;
    const QSet<QString> names = namesInSources(root, &where);
    // the window chrome alone names 35
    QVERIFY2(names.size() >= 35, qPrintable(QStringLiteral("only %1 names found").arg(names.size())));
    QStringList missing;
    for (const QString& n : names) {
        const QString path = QStringLiteral(":/") + n;
        QImageReader reader(path);
        const QImage img = reader.read();
        if (!QFile::exists(path) || img.isNull())
            missing << n + QStringLiteral(" (") + reader.errorString() + QLatin1Char(')');
    }
    missing.sort();
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
}

void TestResources::everyCompiledImageIsAPicture()
{
    QDirIterator it(QStringLiteral(":/"), QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(QStringLiteral(".png")) && !path.endsWith(QStringLiteral(".ico")))
            continue;
        ++count;
        const QImage img(path);
        QVERIFY2(!img.isNull(), qPrintable(path));
        QVERIFY2(img.hasAlphaChannel(), qPrintable(path));
        // not blank: some pixel is drawn
        const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
        bool drawn = false;
        for (int y = 0; y < argb.height() && !drawn; ++y)
            for (int x = 0; x < argb.width() && !drawn; ++x)
                drawn = qAlpha(argb.pixel(x, y)) > 128;
        QVERIFY2(drawn, qPrintable(path + QStringLiteral(" is empty")));
    }
    QVERIFY(count >= 60);
    // sizes the widgets rely on
    QCOMPARE(QImage(QStringLiteral(":/topBtnNormal.png")).size(), QSize(157, 41));
    QCOMPARE(QImage(QStringLiteral(":/newlogo.png")).size(), QSize(162, 44));
    QCOMPARE(QImage(QStringLiteral(":/btnCloseNormal.png")).size(), QSize(25, 25));
    QCOMPARE(QImage(QStringLiteral(":/battery4.png")).size(), QSize(75, 40));
    QCOMPARE(QImage(QStringLiteral(":/DebugCheckBoxCheck.png")).size(), QSize(16, 16));
    QVERIFY(QImage(QStringLiteral(":/topbackground.png")).width() >= 2560); // covers a maximised window
}

void TestResources::iconHasSeveralSizes()
{
    QImageReader reader(QStringLiteral(":/logo.ico"));
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QSet<int> widths;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage img = reader.read();
        QVERIFY(!img.isNull());
        QCOMPARE(img.width(), img.height());
        widths.insert(img.width());
    }
    for (int s : {16, 32, 48, 256})
        QVERIFY2(widths.contains(s), qPrintable(QString::number(s)));
    QIcon icon(QStringLiteral(":/logo.ico"));
    QVERIFY(!icon.isNull());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
