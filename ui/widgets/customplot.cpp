#include "ui/widgets/customplot.h"

namespace {

QCPItemText* makeReadout(QCustomPlot* plot, double x)
{
    auto* text = new QCPItemText(plot);
    text->position->setType(QCPItemPosition::ptAxisRectRatio);
    text->position->setCoords(x, 0.9);
    text->setFont(QFont(QStringLiteral("MiSans"), 12));
    text->setBrush(Qt::NoBrush);
    text->setColor(Qt::blue);
    text->setVisible(false);
    return text;
}

} // namespace

CustomPlot::CustomPlot(QWidget* parent) : QCustomPlot(parent)
{
    m_cursorLineH = new QCPItemLine(this);
    m_cursorLineH->setPen(QPen(Qt::red));
    m_cursorLineH->setVisible(false);
    m_cursorLineV = new QCPItemLine(this);
    m_cursorLineV->setPen(QPen(Qt::red));
    m_cursorLineV->setVisible(false);
    m_cursorTextX = makeReadout(this, 0.05);
    m_cursorTextY = makeReadout(this, 0.2);
}

void CustomPlot::hideCursor()
{
    m_cursorLineH->setVisible(false);
    m_cursorLineV->setVisible(false);
    m_cursorTextX->setVisible(false);
    m_cursorTextY->setVisible(false);
    replot(QCustomPlot::rpRefreshHint);
}

void CustomPlot::hideCursorLines()
{
    m_cursorLineH->setVisible(false);
    m_cursorLineV->setVisible(false);
    replot(QCustomPlot::rpRefreshHint);
}

void CustomPlot::setCursorLines(double x, double y)
{
    const QCPRange xr = xAxis->range();
    const QCPRange yr = yAxis->range();
    m_cursorLineH->start->setCoords(xr.lower, y);
    m_cursorLineH->end->setCoords(xr.upper, y);
    m_cursorLineV->start->setCoords(x, yr.lower);
    m_cursorLineV->end->setCoords(x, yr.upper);
}

void CustomPlot::setCursorText(double x, double y)
{
    m_cursorTextX->setText(QStringLiteral("x: ") + QString::number(x, 'g', 6));
    m_cursorTextY->setText(QStringLiteral("y: ") + QString::number(y, 'f', 10));
}

void CustomPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && graphCount() >= 1) {
        const QPoint pos = event->pos();
        const double x = xAxis->pixelToCoord(pos.x());
        const double y = yAxis->pixelToCoord(pos.y());
        hideCursor();
        setCursorLines(x, y);
        setCursorText(x, y);
        m_cursorLineH->setVisible(true);
        m_cursorLineV->setVisible(true);
        m_cursorTextX->setVisible(true);
        m_cursorTextY->setVisible(true);
        replot(QCustomPlot::rpRefreshHint);
    }
    QCustomPlot::mousePressEvent(event);
}

void CustomPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        hideCursorLines();
    QCustomPlot::mouseReleaseEvent(event);
}
