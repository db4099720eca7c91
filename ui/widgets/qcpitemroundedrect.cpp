#include "ui/widgets/qcpitemroundedrect.h"

QCPItemRoundedRect::QCPItemRoundedRect(QCustomPlot* parentPlot) : QCPItemRect(parentPlot)
{
}

void QCPItemRoundedRect::draw(QCPPainter* painter)
{
    // axisRect(0) would complain on every draw of a plot without one
    QCPAxisRect* rect = (mParentPlot && mParentPlot->axisRectCount() > 0) ? mParentPlot->axisRect(0) : nullptr;
    if (!rect)
        return;
    // The coordinates are read as axis-rectangle fractions whatever the
    // position type, so the drawn badge and the base item's anchors agree.
    const double left = rect->left();
    const double top = rect->top();
    const double w = rect->width();
    const double h = rect->height();
    const QPointF tl = topLeft->coords();
    const QPointF br = bottomRight->coords();
    const QPointF p1(left + tl.x() * w, top + tl.y() * h);
    const QPointF p2(left + br.x() * w, top + br.y() * h);
    painter->setBrush(brush());
    painter->setPen(pen());
    painter->drawRoundedRect(QRectF(p1, p2).normalized(), kRadius, kRadius, Qt::AbsoluteSize);
}
