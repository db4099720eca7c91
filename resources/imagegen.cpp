// Draws every image the application compiles in and writes the resource list.
// Run at build time on the offscreen platform:
//   imagegen <output folder>
// Nothing binary lives in the source tree; the pictures are made here with
// QPainter in one flat style: text #2B3B50, accent #2C7ED3, white glyphs on
// the blue title bar and on the grey-blue pill buttons.

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kText(0x2B, 0x3B, 0x50);
const QColor kAccent(0x2C, 0x7E, 0xD3);
const QColor kAccentDark(0x16, 0x67, 0xBA);
const QColor kAccentLight(0x42, 0x93, 0xE8);
const QColor kGreyBlue(0x8F, 0xA4, 0xB9);
const QColor kBorder(0xB9, 0xC6, 0xD4);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kRed(0xE5, 0x48, 0x4D);
const QColor kRedDark(0xC4, 0x37, 0x3C);
const QColor kYellow(0xF5, 0xB3, 0x00);
const QColor kGreen(0x2D, 0xB5, 0x5D);

QColor withAlpha(QColor c, double a)
{
    c.setAlphaF(a);
    return c;
}

QPen strokePen(const QColor& c, double w)
{
    QPen p(c, w);
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

// Glyphs are designed on a 24-unit grid and scaled into the target box,
// centred and with the aspect kept.
void toGrid(QPainter& p, const QSizeF& box, double grid = 24.0)
{
    const double s = qMin(box.width(), box.height()) / grid;
    p.translate((box.width() - grid * s) / 2.0, (box.height() - grid * s) / 2.0);
    p.scale(s, s);
}

// ---- glyphs on the 24 grid -------------------------------------------------

void glyphChart(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2.5, 3.5, 19, 14), 2.5, 2.5);
    p.drawLine(QPointF(8, 21), QPointF(16, 21));
    p.drawLine(QPointF(12, 17.5), QPointF(12, 21));
    const QPointF wave[] = {{5.5, 11.5}, {8, 11.5}, {9.8, 7.5}, {12.2, 14.5}, {14.2, 9.5}, {15.6, 11.5}, {18.5, 11.5}};
    p.drawPolyline(wave, int(sizeof wave / sizeof wave[0]));
}

void glyphSpectrum(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w * 1.15));
    const double xs[] = {4.5, 9.5, 14.5, 19.5};
    const double tops[] = {13.0, 5.0, 9.0, 15.0};
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(xs[i], 20), QPointF(xs[i], tops[i]));
    p.setPen(strokePen(c, w * 0.8));
    p.drawLine(QPointF(2.5, 22.2), QPointF(21.5, 22.2));
}

void glyphDisk(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    QPainterPath body;
    body.moveTo(5.5, 3.5);
    body.lineTo(16.5, 3.5);
    body.lineTo(20.5, 7.5);
    body.lineTo(20.5, 18.5);
    body.quadTo(20.5, 20.5, 18.5, 20.5);
    body.lineTo(5.5, 20.5);
    body.quadTo(3.5, 20.5, 3.5, 18.5);
    body.lineTo(3.5, 5.5);
    body.quadTo(3.5, 3.5, 5.5, 3.5);
    p.drawPath(body);
    p.drawLine(QPointF(8, 3.5), QPointF(8, 8));
    p.drawLine(QPointF(8, 8), QPointF(15, 8));
    p.drawLine(QPointF(15, 8), QPointF(15, 3.5));
    p.drawRoundedRect(QRectF(7.5, 13, 9, 7.5), 1.2, 1.2);
}

void glyphHelp(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 12), 9, 9);
    QPainterPath q;
    q.moveTo(9.2, 9.6);
    q.cubicTo(9.2, 6.4, 14.8, 6.4, 14.8, 9.6);
    q.cubicTo(14.8, 11.6, 12, 11.8, 12, 14.0);
    p.drawPath(q);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 17.2), w * 0.75, w * 0.75);
}

void glyphBug(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(7.5, 8.5, 9, 12), 4.5, 4.5);
    QPainterPath head;
    head.moveTo(9, 8.6);
    head.cubicTo(9, 4.5, 15, 4.5, 15, 8.6);
    p.drawPath(head);
    p.drawLine(QPointF(12, 11), QPointF(12, 19));
    p.drawLine(QPointF(7.5, 12), QPointF(3.5, 11));
    p.drawLine(QPointF(7.3, 15.5), QPointF(3.5, 15.5));
    p.drawLine(QPointF(7.6, 18.5), QPointF(4, 20.5));
    p.drawLine(QPointF(16.5, 12), QPointF(20.5, 11));
    p.drawLine(QPointF(16.7, 15.5), QPointF(20.5, 15.5));
    p.drawLine(QPointF(16.4, 18.5), QPointF(20, 20.5));
    p.drawLine(QPointF(10, 5.5), QPointF(8.5, 3));
    p.drawLine(QPointF(14, 5.5), QPointF(15.5, 3));
}

void glyphGear(QPainter& p, const QColor& c, double w)
{
    const int teeth = 8;
    const double rOut = 10.0, rIn = 7.6;
    QPainterPath gear;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = (i - 0.5) * M_PI * 2.0 / (teeth * 4);
        const double r = (i % 4 == 0 || i % 4 == 1) ? rOut : rIn;
        const QPointF pt(12 + r * qCos(a), 12 + r * qSin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    p.setPen(strokePen(c, w * 0.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(gear);
    p.setPen(strokePen(c, w));
    p.drawEllipse(QPointF(12, 12), 3.3, 3.3);
}

void glyphList(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    for (int i = 0; i < 3; ++i) {
        const double y = 6 + i * 6;
        p.drawLine(QPointF(9, y), QPointF(20.5, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(4.5, 6 + i * 6), w * 0.85, w * 0.85);
}

void glyphSliders(QPainter& p, const QColor& c, double w)
{
    const double ys[] = {6, 12, 18};
    const double knobs[] = {15, 8, 13};
    const double r = 2.6;
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        // the track stops at the knob so the knob reads as a ring
        p.drawLine(QPointF(3, ys[i]), QPointF(knobs[i] - r - w / 2, ys[i]));
        p.drawLine(QPointF(knobs[i] + r + w / 2, ys[i]), QPointF(21, ys[i]));
        p.drawEllipse(QPointF(knobs[i], ys[i]), r, r);
    }
}

void glyphTrash(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(3.5, 6), QPointF(20.5, 6));
    p.drawLine(QPointF(9.5, 6), QPointF(10, 3.2));
    p.drawLine(QPointF(10, 3.2), QPointF(14, 3.2));
    p.drawLine(QPointF(14, 3.2), QPointF(14.5, 6));
    QPainterPath body;
    body.moveTo(5.5, 6);
    body.lineTo(6.6, 19.5);
    body.quadTo(6.8, 21, 8.3, 21);
    body.lineTo(15.7, 21);
    body.quadTo(17.2, 21, 17.4, 19.5);
    body.lineTo(18.5, 6);
    p.drawPath(body);
    p.drawLine(QPointF(10, 10), QPointF(10.3, 17));
    p.drawLine(QPointF(14, 10), QPointF(13.7, 17));
}

void glyphPower(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    // open ring with the gap at the top, then the stem
    p.drawArc(QRectF(3.5, 4.5, 17, 17), 125 * 16, 290 * 16);
    p.drawLine(QPointF(12, 2.5), QPointF(12, 11.5));
}

void glyphRestart(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 4, 16, 16), 90 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath head;
    head.moveTo(15.8, 1.0);
    head.lineTo(11.0, 4.0);
    head.lineTo(15.8, 7.3);
    head.closeSubpath();
    p.drawPath(head);
}

void glyphTarget(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 12), 7, 7);
    p.drawLine(QPointF(12, 1.5), QPointF(12, 6.5));
    p.drawLine(QPointF(12, 17.5), QPointF(12, 22.5));
    p.drawLine(QPointF(1.5, 12), QPointF(6.5, 12));
    p.drawLine(QPointF(17.5, 12), QPointF(22.5, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 12), 2.2, 2.2);
}

void glyphPause(QPainter& p, const QColor& c, double)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(6, 4, 4, 16), 1.5, 1.5);
    p.drawRoundedRect(QRectF(14, 4, 4, 16), 1.5, 1.5);
}

void glyphFolder(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    QPainterPath f;
    f.moveTo(2.5, 18.5);
    f.lineTo(2.5, 5.5);
    f.quadTo(2.5, 4, 4, 4);
    f.lineTo(9, 4);
    f.lineTo(11, 6.5);
    f.lineTo(19.5, 6.5);
    f.quadTo(21, 6.5, 21, 8);
    f.lineTo(21, 18.5);
    f.quadTo(21, 20, 19.5, 20);
    f.lineTo(4, 20);
    f.quadTo(2.5, 20, 2.5, 18.5);
    p.drawPath(f);
    p.drawLine(QPointF(2.5, 10), QPointF(21, 10));
}

// The product mark: a sensing ring crossed by a field wave.
void glyphMark(QPainter& p, const QColor& c, double w)
{
    p.setPen(strokePen(c, w));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2, 2, 20, 20), 20 * 16, 140 * 16);
    p.drawArc(QRectF(2, 2, 20, 20), 200 * 16, 140 * 16);
    QPainterPath wave;
    wave.moveTo(0.5, 12);
    for (int i = 1; i <= 46; ++i) {
        const double x = 0.5 + i * 0.5;
        wave.lineTo(x, 12 - 4.2 * qSin((x - 0.5) / 23.0 * 2 * M_PI));
    }
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 12), w * 0.9, w * 0.9);
}

using Glyph = std::function<void(QPainter&, const QColor&, double)>;

// ---- whole images ------------------------------------------------------------

struct Image {
    QString name;
    QSize size;
    std::function<void(QPainter&, const QSizeF&)> draw;
};

std::function<void(QPainter&, const QSizeF&)> glyphOnly(const Glyph& g, const QColor& c, double w)
{
    return [g, c, w](QPainter& p, const QSizeF& box) {
        toGrid(p, box);
        g(p, c, w);
    };
}

// Title-bar buttons: white glyph on the blue bar, a soft plate on hover and a
// firmer one when pressed; close turns red.
enum class BarState { Normal, Hover, Pressed };

std::function<void(QPainter&, const QSizeF&)> barButton(std::function<void(QPainter&)> glyph, BarState state, bool danger)
{
    return [glyph, state, danger](QPainter& p, const QSizeF& box) {
        if (state != BarState::Normal) {
            QColor plate = danger ? (state == BarState::Hover ? kRed : kRedDark)
                                  : withAlpha(kWhite, state == BarState::Hover ? 0.20 : 0.32);
            p.setPen(Qt::NoPen);
            p.setBrush(plate);
            p.drawRoundedRect(QRectF(QPointF(0, 0), box), 5, 5);
        }
        p.setPen(strokePen(withAlpha(kWhite, state == BarState::Pressed ? 0.85 : 1.0), 1.6));
        p.setBrush(Qt::NoBrush);
        glyph(p);
    };
}

void barMin(QPainter& p) { p.drawLine(QPointF(7.5, 12.5), QPointF(17.5, 12.5)); }
void barMax(QPainter& p) { p.drawRoundedRect(QRectF(7.5, 7.5, 10, 10), 1.5, 1.5); }
void barRestore(QPainter& p)
{
    p.drawRoundedRect(QRectF(6.5, 9.5, 9, 9), 1.5, 1.5);
    QPainterPath back;
    back.moveTo(9.5, 9.3);
    back.lineTo(9.5, 7.9);
    back.quadTo(9.5, 6.5, 10.9, 6.5);
    back.lineTo(17.1, 6.5);
    back.quadTo(18.5, 6.5, 18.5, 7.9);
    back.lineTo(18.5, 14.1);
    back.quadTo(18.5, 15.5, 17.1, 15.5);
    back.lineTo(15.7, 15.5);
    p.drawPath(back);
}
void barClose(QPainter& p)
{
    p.drawLine(QPointF(8, 8), QPointF(17, 17));
    p.drawLine(QPointF(17, 8), QPointF(8, 17));
}
void barChevron(QPainter& p)
{
    const QPointF pts[] = {{8, 10.5}, {12.5, 15}, {17, 10.5}};
    p.drawPolyline(pts, 3);
}

void drawGlobe(QPainter& p, const QSizeF& box)
{
    toGrid(p, box, 23);
    p.setPen(strokePen(kWhite, 1.5));
    p.setBrush(Qt::NoBrush);
    const QPointF c(11.5, 11.5);
    p.drawEllipse(c, 9.5, 9.5);
    p.drawEllipse(c, 4.2, 9.5);
    p.drawLine(QPointF(2, 11.5), QPointF(21, 11.5));
    p.drawLine(QPointF(3.6, 6.8), QPointF(19.4, 6.8));
    p.drawLine(QPointF(3.6, 16.2), QPointF(19.4, 16.2));
}

QPainterPath tabShape(const QSizeF& box)
{
    const double w = box.width(), h = box.height();
    const double slant = 11.0, r = 7.0;
    QPainterPath t;
    t.moveTo(0, h);
    t.cubicTo(4, h, 5.5, h - 2.5, 6.2, h - 6.0);
    t.lineTo(slant, r + 1);
    t.cubicTo(slant + 0.9, 2.2, slant + 3.0, 0, slant + r, 0);
    t.lineTo(w - slant - r, 0);
    t.cubicTo(w - slant - 3.0, 0, w - slant - 0.9, 2.2, w - slant, r + 1);
    t.lineTo(w - 6.2, h - 6.0);
    t.cubicTo(w - 5.5, h - 2.5, w - 4, h, w, h);
    t.closeSubpath();
    return t;
}

void drawTabNormal(QPainter& p, const QSizeF& box)
{
    const QPainterPath t = tabShape(box);
    QLinearGradient g(0, 0, 0, box.height());
    g.setColorAt(0, QColor(0xEE, 0xF4, 0xFB));
    g.setColorAt(1, QColor(0xD3, 0xE1, 0xF1));
    p.setPen(QPen(QColor(0xA9, 0xC0, 0xDB), 1.0));
    p.setBrush(g);
    p.drawPath(t);
}

void drawTabPressed(QPainter& p, const QSizeF& box)
{
    const QPainterPath t = tabShape(box);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF9, 0xFA, 0xFC));
    p.drawPath(t);
    // accent stripe along the top edge of the selected tab
    p.setClipPath(t);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(22, 0, box.width() - 44, 3), 1.5, 1.5);
}

void drawTopBackground(QPainter& p, const QSizeF& box)
{
    const double w = box.width(), h = box.height();
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0x1B, 0x55, 0xA0));
    g.setColorAt(1, QColor(0x2C, 0x7E, 0xD3));
    p.fillRect(QRectF(0, 0, w, h), g);
    // faint field lines across the bar
    for (int k = 0; k < 6; ++k) {
        QPainterPath line;
        const double base = 18 + k * 15.0;
        const double amp = 9 + 3 * (k % 3);
        const double period = 520 + 90 * k;
        const double phase = k * 1.3;
        line.moveTo(0, base + amp * qSin(phase));
        for (double x = 4; x <= w; x += 4)
            line.lineTo(x, base + amp * qSin(x / period * 2 * M_PI + phase));
        p.setPen(QPen(withAlpha(kWhite, 0.035 + 0.012 * (k % 3)), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(line);
    }
    // a soft light towards the middle, where the window sits when not maximised
    QRadialGradient glow(QPointF(w / 2 + 260, -40), 700);
    glow.setColorAt(0, withAlpha(kWhite, 0.10));
    glow.setColorAt(1, withAlpha(kWhite, 0.0));
    p.fillRect(QRectF(0, 0, w, h), glow);
}

void drawLogo(QPainter& p, const QSizeF& box)
{
    p.save();
    p.translate(2, 4);
    p.scale(36.0 / 24.0, 36.0 / 24.0);
    glyphMark(p, kWhite, 1.9);
    p.restore();

    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(21);
    big.setBold(true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    p.setFont(big);
    p.setPen(kWhite);
    p.drawText(QRectF(48, 2, box.width() - 48, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TERVAL"));

    // the strap line is spaced out to the width of the word mark
    const QString strap = QStringLiteral("QUANTUM MAGNETOMETER");
    const double room = box.width() - 50;
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(7);
    double spacing = 1.5;
    for (;;) {
        small.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
        if (QFontMetricsF(small).horizontalAdvance(strap) <= room || spacing <= 0)
            break;
        spacing -= 0.1;
    }
    p.setFont(small);
    p.setPen(withAlpha(kWhite, 0.78));
    p.drawText(QRectF(49, 27, room + 1, 12), Qt::AlignLeft | Qt::AlignVCenter, strap);
}

void drawAppIcon(QPainter& p, const QSizeF& box)
{
    const double s = box.width();
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, QColor(0x1B, 0x55, 0xA0));
    g.setColorAt(1, kAccentLight);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.22, s * 0.22);
    p.save();
    p.translate(s * 0.14, s * 0.14);
    p.scale(s * 0.72 / 24.0, s * 0.72 / 24.0);
    glyphMark(p, kWhite, s <= 16 ? 2.8 : (s <= 32 ? 2.3 : 1.9));
    p.restore();
}

// Progress of the instrument's start-up: four cells, state n lights n cells,
// state 4 (measuring) turns the whole gauge green.
std::function<void(QPainter&, const QSizeF&)> drawBattery(int state)
{
    return [state](QPainter& p, const QSizeF& box) {
        const double w = box.width(), h = box.height();
        const QColor on = state >= 4 ? kGreen : kAccent;
        const QRectF shell(2, 6, w - 11, h - 12);
        p.setPen(QPen(state >= 4 ? kGreen : kGreyBlue, 2.2));
        p.setBrush(kWhite);
        p.drawRoundedRect(shell, 5, 5);
        p.setPen(Qt::NoPen);
        p.setBrush(state >= 4 ? kGreen : kGreyBlue);
        p.drawRoundedRect(QRectF(w - 8, h / 2 - 5, 5, 10), 1.5, 1.5);
        const double pad = 4.5, gap = 3;
        const QRectF inner = shell.adjusted(pad, pad, -pad, -pad);
        const double cw = (inner.width() - 3 * gap) / 4;
        for (int i = 0; i < 4; ++i) {
            const QRectF cell(inner.left() + i * (cw + gap), inner.top(), cw, inner.height());
            p.setBrush(i < state ? on : QColor(0xE3, 0xEB, 0xF4));
            p.drawRoundedRect(cell, 2, 2);
        }
    };
}

// Signal lamp: the "1" variants are the stronger step of the same colour.
std::function<void(QPainter&, const QSizeF&)> drawLight(const QColor& c, bool strong)
{
    return [c, strong](QPainter& p, const QSizeF& box) {
        const QPointF mid(box.width() / 2, box.height() / 2);
        QRadialGradient halo(mid, 21);
        halo.setColorAt(0.45, withAlpha(c, strong ? 0.42 : 0.22));
        halo.setColorAt(1.0, withAlpha(c, 0.0));
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(mid, 21, 21);
        if (strong) {
            p.setPen(QPen(withAlpha(c, 0.55), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(mid, 15.5, 15.5);
        }
        QRadialGradient lamp(mid + QPointF(-3, -3), 13);
        lamp.setColorAt(0, c.lighter(strong ? 150 : 130));
        lamp.setColorAt(1, c);
        p.setPen(QPen(kWhite, 2));
        p.setBrush(lamp);
        p.drawEllipse(mid, 11, 11);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(kWhite, 0.55));
        p.drawEllipse(mid + QPointF(-3.5, -4), 3.2, 2.2);
    };
}

std::function<void(QPainter&, const QSizeF&)> drawCheck(bool checked)
{
    return [checked](QPainter& p, const QSizeF& box) {
        const double s = box.width();
        const double r = s * 0.22;
        const QRectF frame(1, 1, s - 2, s - 2);
        if (checked) {
            QLinearGradient g(0, 0, 0, s);
            g.setColorAt(0, kAccentLight);
            g.setColorAt(1, kAccent);
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawRoundedRect(frame, r, r);
            p.setPen(strokePen(kWhite, s >= 20 ? 2.2 : 1.7));
            const QPointF tick[] = {{s * 0.26, s * 0.52}, {s * 0.43, s * 0.68}, {s * 0.75, s * 0.34}};
            p.drawPolyline(tick, 3);
        } else {
            p.setPen(QPen(kBorder, 1.5));
            p.setBrush(kWhite);
            p.drawRoundedRect(frame.adjusted(0.25, 0.25, -0.25, -0.25), r, r);
        }
    };
}

void drawArrowDown(QPainter& p, const QSizeF& box)
{
    p.setPen(strokePen(kText, 1.5));
    p.setBrush(Qt::NoBrush);
    const QPointF pts[] = {{1.0, 1.2}, {box.width() / 2, box.height() - 1.2}, {box.width() - 1.0, 1.2}};
    p.drawPolyline(pts, 3);
}

std::vector<Image> catalogue()
{
    std::vector<Image> list;
    auto add = [&list](const QString& name, QSize size, std::function<void(QPainter&, const QSizeF&)> draw) {
        list.push_back({name, size, std::move(draw)});
    };
    const QSize bar(25, 25);
    const struct {
        const char* stem;
        void (*glyph)(QPainter&);
        bool danger;
    } barButtons[] = {
        {"btnMin", barMin, false},         {"btnMax", barMax, false},
        {"btnClose", barClose, true},      {"btnLanguage", barChevron, false},
    };
    for (const auto& b : barButtons) {
        add(QStringLiteral("%1Normal.png").arg(QLatin1String(b.stem)), bar, barButton(b.glyph, BarState::Normal, b.danger));
        add(QStringLiteral("%1At.png").arg(QLatin1String(b.stem)), bar, barButton(b.glyph, BarState::Hover, b.danger));
        add(QStringLiteral("%1Press.png").arg(QLatin1String(b.stem)), bar, barButton(b.glyph, BarState::Pressed, b.danger));
    }
    // maximised: the same button shows "restore"
    add(QStringLiteral("btnMaxNormal1.png"), bar, barButton(barRestore, BarState::Normal, false));
    add(QStringLiteral("btnMaxAt1.png"), bar, barButton(barRestore, BarState::Hover, false));
    add(QStringLiteral("btnMaxPress1.png"), bar, barButton(barRestore, BarState::Pressed, false));

    add(QStringLiteral("ball.png"), QSize(23, 23), drawGlobe);
    add(QStringLiteral("newlogo.png"), QSize(162, 44), drawLogo);
    add(QStringLiteral("topbackground.png"), QSize(3840, 106), drawTopBackground);
    add(QStringLiteral("topBtnNormal.png"), QSize(157, 41), drawTabNormal);
    add(QStringLiteral("topBtnPress.png"), QSize(157, 41), drawTabPressed);

    // page buttons: dark glyph, the selected tab in the deeper accent
    const struct {
        const char* stem;
        Glyph glyph;
    } pages[] = {
        {"main", glyphChart},   {"Sensitivity", glyphSpectrum}, {"Save", glyphDisk},
        {"help", glyphHelp},    {"debug", glyphBug},            {"config", glyphGear},
    };
    for (const auto& pg : pages) {
        add(QStringLiteral("%1NormalIcon.png").arg(QLatin1String(pg.stem)), QSize(24, 24), glyphOnly(pg.glyph, kText, 1.8));
        add(QStringLiteral("%1PressIcon.png").arg(QLatin1String(pg.stem)), QSize(24, 24), glyphOnly(pg.glyph, kAccentDark, 1.9));
    }

    // glyphs on the pill buttons
    add(QStringLiteral("ClearPlot.png"), QSize(17, 20), [](QPainter& p, const QSizeF& box) {
        p.translate(box.width() / 2, box.height() / 2);
        p.scale(0.82, 0.9);
        p.translate(-12, -12.1);
        glyphTrash(p, kWhite, 2.2);
    });
    add(QStringLiteral("Reboot.png"), QSize(20, 20), glyphOnly(glyphPower, kWhite, 2.3));
    add(QStringLiteral("btn_restart.png"), QSize(20, 20), glyphOnly(glyphRestart, kWhite, 2.3));
    add(QStringLiteral("btn_retrack.png"), QSize(20, 20), glyphOnly(glyphTarget, kWhite, 2.1));
    add(QStringLiteral("btn_pause.png"), QSize(20, 20), glyphOnly(glyphPause, kWhite, 2.0));
    add(QStringLiteral("floder.png"), QSize(24, 20), [](QPainter& p, const QSizeF&) {
        p.translate(0, -2);
        glyphFolder(p, kWhite, 2.0);
    });
    add(QStringLiteral("arrow_down.png"), QSize(9, 6), drawArrowDown);

    add(QStringLiteral("helpIndex.png"), QSize(20, 20), glyphOnly(glyphList, kWhite, 2.1));
    add(QStringLiteral("helpMain.png"), QSize(20, 20), glyphOnly(glyphChart, kWhite, 2.1));
    add(QStringLiteral("helpSensitivity.png"), QSize(20, 17), glyphOnly(glyphSpectrum, kWhite, 2.2));
    add(QStringLiteral("helpSave.png"), QSize(20, 20), glyphOnly(glyphDisk, kWhite, 2.1));
    add(QStringLiteral("helpConfig.png"), QSize(20, 16), glyphOnly(glyphSliders, kWhite, 2.2));

    for (int s = 0; s <= 4; ++s)
        add(QStringLiteral("battery%1.png").arg(s), QSize(75, 40), drawBattery(s));

    add(QStringLiteral("redlight.png"), QSize(44, 44), drawLight(kRed, false));
    add(QStringLiteral("yellowlight.png"), QSize(44, 44), drawLight(kYellow, false));
    add(QStringLiteral("yellowlight1.png"), QSize(44, 44), drawLight(kYellow, true));
    add(QStringLiteral("greenlight.png"), QSize(44, 44), drawLight(kGreen, false));
    add(QStringLiteral("greenlight1.png"), QSize(44, 44), drawLight(kGreen, true));

    add(QStringLiteral("SaveCheckBoxNormal.png"), QSize(24, 24), drawCheck(false));
    add(QStringLiteral("SaveCheckBoxCheck.png"), QSize(24, 24), drawCheck(true));
    add(QStringLiteral("ConfigCheckBoxNormal.png"), QSize(24, 24), drawCheck(false));
    add(QStringLiteral("ConfigCheckBoxCheck.png"), QSize(24, 24), drawCheck(true));
    add(QStringLiteral("DebugCheckBoxNormal.png"), QSize(16, 16), drawCheck(false));
    add(QStringLiteral("DebugCheckBoxCheck.png"), QSize(16, 16), drawCheck(true));
    return list;
}

QImage render(const QSize& size, const std::function<void(QPainter&, const QSizeF&)>& draw)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    draw(p, QSizeF(size));
    p.end();
    return img;
}

// Windows icon with several sizes, each a 32-bit DIB with its AND mask; every
// reader, Qt's included, understands this layout.
QByteArray icoFile(const QVector<QImage>& images)
{
    QByteArray out;
    QDataStream ds(&out, QIODevice::WriteOnly);
    ds.setByteOrder(QDataStream::LittleEndian);
    ds << quint16(0) << quint16(1) << quint16(images.size());
    QVector<QByteArray> blobs;
    for (const QImage& src : images) {
        const QImage img = src.convertToFormat(QImage::Format_ARGB32);
        const int w = img.width(), h = img.height();
        const int maskStride = ((w + 31) / 32) * 4;
        QByteArray blob;
        QDataStream bs(&blob, QIODevice::WriteOnly);
        bs.setByteOrder(QDataStream::LittleEndian);
        bs << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
           << quint32(w * h * 4 + maskStride * h) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
        for (int y = h - 1; y >= 0; --y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < w; ++x)
                bs << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x])) << quint8(qAlpha(line[x]));
        }
        for (int y = h - 1; y >= 0; --y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            QByteArray row(maskStride, '\0');
            for (int x = 0; x < w; ++x)
                if (qAlpha(line[x]) == 0)
                    row[x / 8] = char(row[x / 8] | char(0x80 >> (x % 8)));
            bs.writeRawData(row.constData(), row.size());
        }
        blobs.append(blob);
    }
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const int w = images[i].width(), h = images[i].height();
        ds << quint8(w >= 256 ? 0 : w) << quint8(h >= 256 ? 0 : h) << quint8(0) << quint8(0) << quint16(1) << quint16(32)
           << quint32(blobs[i].size()) << offset;
        offset += quint32(blobs[i].size());
    }
    for (const QByteArray& b : blobs)
        ds.writeRawData(b.constData(), b.size());
    return out;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: imagegen <output folder>\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "imagegen: cannot create %s\n", qPrintable(outDir));
        return 1;
    }

    QStringList names;
    for (const Image& img : catalogue()) {
        const QImage pic = render(img.size, img.draw);
        const QString path = outDir + QLatin1Char('/') + img.name;
        if (!pic.save(path, "PNG")) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(path));
            return 1;
        }
        names << img.name;
    }

    QVector<QImage> iconSizes;
    for (int s : {16, 24, 32, 48, 64, 128, 256})
        iconSizes << render(QSize(s, s), drawAppIcon);
    if (!writeFile(outDir + QStringLiteral("/logo.ico"), icoFile(iconSizes)))
        return 1;
    names << QStringLiteral("logo.ico");

    QByteArray qrc;
    QTextStream ts(&qrc);
    ts << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const QString& n : names)
        ts << "  <file>" << n << "</file>\n";
    ts << "</qresource>\n</RCC>\n";
    ts.flush();
    if (!writeFile(outDir + QStringLiteral("/terval_images.qrc"), qrc))
        return 1;
    return 0;
}
