#include "ui/pages/customtextbrowser.h"

#include <QPainter>

void CustomTextBrowser::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    QTextBrowser::paintEvent(event);
}
