// The shared numeric validators, as tables of texts, and their effect in a
// real line edit.
#include "core/mydoublevalidator.h"
#include "core/myintvalidator.h"

#include <QLineEdit>
#include <QtTest>

class TestValidators : public QObject
{
    Q_OBJECT
private slots:
    void intTable_data();
    void intTable();
    void doubleTable_data();
    void doubleTable();
    void lineEditRefusesInvalid();
};

namespace {
QString u(char16_t c) { return QString(QChar(c)); }
}

void TestValidators::intTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("digits") << "1000" << true;
    QTest::newRow("leading zeros") << "0123" << true;
    QTest::newRow("minus") << "-5" << false;
    QTest::newRow("plus") << "+5" << false;
    QTest::newRow("leading blank") << " 5" << false;
    QTest::newRow("full stop") << "1.5" << false;
    QTest::newRow("letter") << "12a" << false;
    QTest::newRow("exponent") << "1e3" << false;
    QTest::newRow("full-width five") << u(0xFF15) << true;
    QTest::newRow("superscript two") << "1" + u(0x00B2) << true;
    QTest::newRow("roman numeral") << u(0x2163) << true;
    QTest::newRow("CJK ideograph") << QString::fromUtf8("五") << false;
    QTest::newRow("non-BMP digit") << QString::fromUcs4(U"\U0001D7D8") << false;
    QTest::newRow("delete char") << u(0x7F) << false;
    QTest::newRow("non-breaking space") << u(0x00A0) << false;
}

void TestValidators::intTable()
{
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    MyIntValidator validator(nullptr);
    const QString before = text;
    int pos = text.size();
    QCOMPARE(validator.validate(text, pos), acceptable ? QValidator::Acceptable : QValidator::Invalid);
    QCOMPARE(text, before);
    QCOMPARE(pos, before.size());
}

void TestValidators::doubleTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("integer") << "42" << true;
    QTest::newRow("decimal") << "0.5" << true;
    QTest::newRow("lone full stop") << "." << true;
    QTest::newRow("ends with stop") << "3." << true;
    QTest::newRow("starts with stop") << ".25" << true;
    QTest::newRow("two stops") << "1.2.3" << false;
    QTest::newRow("two adjacent stops") << ".." << false;
    QTest::newRow("comma") << "1,5" << false;
    QTest::newRow("minus") << "-0.5" << false;
    QTest::newRow("exponent") << "1e-3" << false;
    QTest::newRow("blank") << "1 5" << false;
    QTest::newRow("full-width five") << "0." + u(0xFF15) << true;
    QTest::newRow("superscript two") << u(0x00B2) << true;
    QTest::newRow("full-width stop") << "1" + u(0xFF0E) + "5" << false;
    QTest::newRow("non-BMP digit") << QString::fromUcs4(U"\U0001D7D8") << false;
}

void TestValidators::doubleTable()
{
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    MyDoubleValidator validator(nullptr);
    const QString before = text;
    int pos = 0;
    QCOMPARE(validator.validate(text, pos), acceptable ? QValidator::Acceptable : QValidator::Invalid);
    QCOMPARE(text, before);
    QCOMPARE(pos, 0);
}

void TestValidators::lineEditRefusesInvalid()
{
    // One instance serves several edits, as the hub hands it out.
    MyDoubleValidator dv(nullptr);
    MyIntValidator iv(nullptr);
    QLineEdit a, b, c;
    a.setValidator(&dv);
    b.setValidator(&dv);
    c.setValidator(&iv);
    QTest::keyClicks(&a, "0.5");
    QTest::keyClicks(&a, ".");
    QCOMPARE(a.text(), QStringLiteral("0.5"));
    QTest::keyClicks(&b, "-1.25e");
    QCOMPARE(b.text(), QStringLiteral("1.25"));
    QTest::keyClicks(&c, "12.3x4");
    QCOMPARE(c.text(), QStringLiteral("1234"));
    QVERIFY(c.hasAcceptableInput());
    c.clear();
    QVERIFY(c.hasAcceptableInput()); // empty text is the page's business
}

QTEST_MAIN(TestValidators)
#include "tst_validators.moc"
