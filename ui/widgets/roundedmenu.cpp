#include "ui/widgets/roundedmenu.h"

#include <QPainterPath>
#include <QRegion>
#include <QTransform>

RoundedMenu::RoundedMenu(QWidget* parent) : QMenu(parent)
{
}

void RoundedMenu::resizeEvent(QResizeEvent* event)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), kRadius, kRadius, Qt::AbsoluteSize);
    setMask(QRegion(path.toFillPolygon(QTransform()).toPolygon(), Qt::OddEvenFill));
    QMenu::resizeEvent(event);
}
