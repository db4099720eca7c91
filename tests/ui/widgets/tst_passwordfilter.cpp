// The service page lock: keys in a guarded edit pass only within the unlock
// window after the right password; otherwise they open the password dialog.
#include "ui/widgets/passwordfilter.h"
#include "ui/widgets/passwordprompts.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace {

using namespace passwordprompts;

// A page with three guarded edits, as the service page sets them up.
struct Rig {
    QWidget page;
    QLineEdit* edits[3];
    PasswordFilter* filter;
    qint64 now = 1700000000000;

    Rig()
    {
        filter = new PasswordFilter(&page);
        filter->setClock([this] { return now; });
        for (auto*& e : edits) {
            e = new QLineEdit(&page);
            e->installEventFilter(filter);
        }
    }
    ~Rig() { closeDialogs(); }

    // Types the text into the dialog the last key opened and closes it.
    void answer(const QString& text, bool ok = true)
    {
        const QList<QInputDialog*> dialogs = passwordDialogs();
        QCOMPARE(dialogs.size(), 1);
        dialogs.first()->setTextValue(text);
        if (ok)
            dialogs.first()->accept();
        else
            dialogs.first()->reject();
        flushDeletes();
    }

    void unlock()
    {
        QTest::keyClick(edits[0], Qt::Key_1);
        answer(kPassword);
        QVERIFY(filter->isUnlocked());
        QVERIFY(errorBoxes().isEmpty());
    }
};

} // namespace

class TestPasswordFilter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void lockedKeysOpenDialog_data();
    void lockedKeysOpenDialog();
    void eachKeyOpensItsOwnDialog();
    void dialogLooksRight();
    void passwordTable_data();
    void passwordTable();
    void rightTextThenCancelUnlocks();
    void timeoutBoundary_data();
    void timeoutBoundary();
    void oneUnlockServesAllEdits();
    void correctPasswordRenews();
    void onlyKeyPressesOnEditsAreGuarded();
    void typedTextNeverLogged();
};

void TestPasswordFilter::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestPasswordFilter::cleanup()
{
    closeDialogs();
}

void TestPasswordFilter::lockedKeysOpenDialog_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("digit") << int(Qt::Key_5);
    QTest::newRow("letter") << int(Qt::Key_A);
    QTest::newRow("tab") << int(Qt::Key_Tab);
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("left") << int(Qt::Key_Left);
    QTest::newRow("backspace") << int(Qt::Key_Backspace);
}

void TestPasswordFilter::lockedKeysOpenDialog()
{
    QFETCH(int, key);
    Rig rig;
    rig.page.show();
    rig.edits[1]->setText(QStringLiteral("12.5"));
    rig.edits[1]->setCursorPosition(2);
    rig.edits[1]->setFocus();
    QSignalSpy returns(rig.edits[1], &QLineEdit::returnPressed);
    QTest::keyClick(rig.edits[1], Qt::Key(key));
    QCOMPARE(rig.edits[1]->text(), QStringLiteral("12.5"));
    QCOMPARE(rig.edits[1]->cursorPosition(), 2);
    QCOMPARE(returns.count(), 0);
    QCOMPARE(passwordDialogs().size(), 1);
    QVERIFY(!rig.filter->isUnlocked());
}

void TestPasswordFilter::eachKeyOpensItsOwnDialog()
{
    Rig rig;
    QTest::keyClicks(rig.edits[0], QStringLiteral("123"));
    QCOMPARE(passwordDialogs().size(), 3);
    QVERIFY(rig.edits[0]->text().isEmpty());
}

void TestPasswordFilter::dialogLooksRight()
{
    Rig rig;
    QTest::keyClick(rig.edits[2], Qt::Key_7);
    QInputDialog* d = passwordDialogs().value(0);
    QVERIFY(d);
    QCOMPARE(d->labelText(), QStringLiteral("请输入密码:"));
    QCOMPARE(d->textEchoMode(), QLineEdit::Password);
    QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!d->windowIcon().isNull());
    QVERIFY(!d->parent());
    QVERIFY(d->windowModality() != Qt::ApplicationModal); // opened without blocking the page
    QPointer<QInputDialog> guard(d);
    d->reject();
    flushDeletes();
    QVERIFY(guard.isNull()); // deleted on close
}

void TestPasswordFilter::passwordTable_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("unlocks");
    QTest::newRow("exact") << kPassword << true;
    QTest::newRow("upper-case letter") << QStringLiteral("Vbnq20191105") << false;
    QTest::newRow("all upper") << QStringLiteral("VBNQ20191105") << false;
    QTest::newRow("leading blank") << QStringLiteral(" vbnq20191105") << false;
    QTest::newRow("trailing blank") << QStringLiteral("vbnq20191105 ") << false;
    QTest::newRow("extra character") << QStringLiteral("vbnq201911050") << false;
    QTest::newRow("one short") << QStringLiteral("vbnq2019110") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("digits only") << QStringLiteral("20191105") << false;
}

void TestPasswordFilter::passwordTable()
{
    QFETCH(QString, typed);
    QFETCH(bool, unlocks);
    Rig rig;
    QTest::keyClick(rig.edits[0], Qt::Key_1);
    rig.answer(typed);
    QCOMPARE(rig.filter->isUnlocked(), unlocks);
    const QList<QMessageBox*> boxes = errorBoxes();
    if (unlocks) {
        QVERIFY(boxes.isEmpty());
        QTest::keyClick(rig.edits[0], Qt::Key_4);
        QCOMPARE(rig.edits[0]->text(), QStringLiteral("4")); // the key that opened the dialog is lost
        QVERIFY(passwordDialogs().isEmpty());
    } else {
        QCOMPARE(boxes.size(), 1);
        QMessageBox* box = boxes.first();
        QCOMPARE(box->text(), QStringLiteral("密码错误，无法输入！"));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QVERIFY(!box->parent());
        QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!box->windowIcon().isNull());
        QVERIFY(rig.edits[0]->text().isEmpty());
        // still locked: the next key asks again
        QTest::keyClick(rig.edits[0], Qt::Key_4);
        QVERIFY(rig.edits[0]->text().isEmpty());
        QCOMPARE(passwordDialogs().size(), 1);
    }
}

void TestPasswordFilter::rightTextThenCancelUnlocks()
{
    Rig rig;
    QTest::keyClick(rig.edits[0], Qt::Key_1);
    rig.answer(kPassword, false);
    QVERIFY(rig.filter->isUnlocked());
    QVERIFY(errorBoxes().isEmpty());

    Rig other;
    QTest::keyClick(other.edits[0], Qt::Key_1);
    other.answer(QString(), true); // OK with an empty field
    QVERIFY(!other.filter->isUnlocked());
    QCOMPARE(errorBoxes().size(), 1);
}

void TestPasswordFilter::timeoutBoundary_data()
{
    QTest::addColumn<qint64>("after");
    QTest::addColumn<bool>("passes");
    QTest::newRow("at once") << qint64(0) << true;
    QTest::newRow("999999 ms") << qint64(999999) << true;
    QTest::newRow("1000000 ms") << qint64(1000000) << false;
    QTest::newRow("an hour") << qint64(3600000) << false;
    QTest::newRow("clock set back") << qint64(-5000) << true;
}

void TestPasswordFilter::timeoutBoundary()
{
    QFETCH(qint64, after);
    QFETCH(bool, passes);
    Rig rig;
    rig.unlock();
    rig.now += after;
    QTest::keyClick(rig.edits[1], Qt::Key_9);
    QCOMPARE(rig.edits[1]->text(), passes ? QStringLiteral("9") : QString());
    QCOMPARE(passwordDialogs().size(), passes ? 0 : 1);
    QVERIFY(rig.filter->isUnlocked()); // an expired unlock stays marked
}

void TestPasswordFilter::oneUnlockServesAllEdits()
{
    Rig rig;
    rig.unlock();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(rig.edits[i], Qt::Key(Qt::Key_1 + i));
    QCOMPARE(rig.edits[0]->text(), QStringLiteral("1"));
    QCOMPARE(rig.edits[1]->text(), QStringLiteral("2"));
    QCOMPARE(rig.edits[2]->text(), QStringLiteral("3"));
    QVERIFY(passwordDialogs().isEmpty());
}

void TestPasswordFilter::correctPasswordRenews()
{
    Rig rig;
    rig.unlock();
    rig.now += 1000000; // expired
    QTest::keyClick(rig.edits[0], Qt::Key_1);
    rig.answer(kPassword);
    rig.now += 999999; // measured from the second password
    QTest::keyClick(rig.edits[0], Qt::Key_2);
    QCOMPARE(rig.edits[0]->text(), QStringLiteral("2"));

    // a wrong password after expiry changes nothing
    rig.now += 1;
    QTest::keyClick(rig.edits[0], Qt::Key_3);
    rig.answer(QStringLiteral("wrong"));
    QTest::keyClick(rig.edits[0], Qt::Key_4);
    QCOMPARE(rig.edits[0]->text(), QStringLiteral("2"));
}

void TestPasswordFilter::onlyKeyPressesOnEditsAreGuarded()
{
    Rig rig;
    // pasting or setting text goes through untouched
    rig.edits[0]->insert(QStringLiteral("3.3"));
    QCOMPARE(rig.edits[0]->text(), QStringLiteral("3.3"));
    QSignalSpy finished(rig.edits[0], &QLineEdit::editingFinished);
    rig.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.page));
    QTest::mouseClick(rig.edits[0], Qt::LeftButton);
    QVERIFY(passwordDialogs().isEmpty());
    // key releases and other objects are not guarded
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
    QApplication::sendEvent(rig.edits[0], &release);
    QPushButton button;
    button.installEventFilter(rig.filter);
    QTest::keyClick(&button, Qt::Key_Space);
    QVERIFY(passwordDialogs().isEmpty());
}

void TestPasswordFilter::typedTextNeverLogged()
{
    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& msg) { lines << msg; });
    {
        Rig rig;
        QTest::keyClick(rig.edits[0], Qt::Key_1);
        rig.answer(QStringLiteral("secretGuess42"));
        QTest::keyClick(rig.edits[0], Qt::Key_1);
        rig.answer(kPassword);
        QTest::keyClick(rig.edits[0], Qt::Key_1);
    }
    qInstallMessageHandler(previous);
    QVERIFY(!lines.isEmpty());
    for (const QString& l : lines) {
        QVERIFY2(!l.contains(QStringLiteral("secretGuess42")), qPrintable(l));
        QVERIFY2(!l.contains(kPassword), qPrintable(l));
    }
    QVERIFY(lines.contains(QStringLiteral("unlocked: false")));
    QVERIFY(lines.contains(QStringLiteral("unlocked: true")));
}

QTEST_MAIN(TestPasswordFilter)
#include "tst_passwordfilter.moc"
