#include "ui/widgets/roundedcustomplot.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>

RoundedCustomPlot::RoundedCustomPlot(QWidget* parent) : QCustomPlot(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("background: transparent;"));
}

void RoundedCustomPlot::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient card(0, 0, 0, height());
        card.setColorAt(0, QColor(QStringLiteral("#FFFFFF")));
        card.setColorAt(1, QColor(QStringLiteral("#EDF6FF")));
        painter.setPen(Qt::NoPen);
        painter.setBrush(card);
        painter.drawRoundedRect(QRectF(0, 0, width(), height()), kRadius, kRadius, Qt::AbsoluteSize);
    }
    QCustomPlot::paintEvent(event);
}

void RoundedCustomPlot::resizeEvent(QResizeEvent* event)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), kRadius, kRadius, Qt::AbsoluteSize);
    const QPolygon shape = path.toFillPolygon(QTransform()).toPolygon();
    setMask(QRegion(shape, Qt::OddEvenFill));
    QCustomPlot::resizeEvent(event);
}
