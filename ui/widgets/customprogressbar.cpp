#include "ui/widgets/customprogressbar.h"

#include <QPainter>

CustomProgressBar::CustomProgressBar(QWidget* parent)
    : QWidget(parent), m_segmentStates(m_segmentCount, false)
{
}

void CustomProgressBar::setSegmentState(int index, bool on)
{
    if (index < 0 || index >= m_segmentCount)
        return;
    for (int i = 0; i < m_segmentCount; ++i)
        m_segmentStates[i] = i <= index;
    m_segmentStates[index] = on;
    update();
}

void CustomProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    painter.setPen(QPen(Qt::black));
    painter.setBrush(QColor(QStringLiteral("#636363")));
    painter.drawRect(2, 2, w - 4, h - 4);

    const int sw = (w - (m_segmentCount + 1) * m_segmentSpacing) / m_segmentCount;
    const int sh = h - 2 * m_segmentSpacing;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < m_segmentCount; ++i) {
        const int x = (m_segmentSpacing + sw) * i + m_segmentSpacing;
        const bool lit = m_segmentStates[i];
        painter.setBrush(lit ? Qt::green : Qt::yellow);
        painter.drawRoundedRect(QRect(x + 3, m_segmentSpacing + 1, sw - 2, sh - 2), m_cornerRadius, m_cornerRadius);
        if (!lit)
            break;
    }
}
