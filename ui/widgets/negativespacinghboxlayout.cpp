#include "ui/widgets/negativespacinghboxlayout.h"

NegativeSpacingHBoxLayout::NegativeSpacingHBoxLayout(QWidget* parent) : QHBoxLayout(parent)
{
}

void NegativeSpacingHBoxLayout::setSpacing(int spacing)
{
    m_spacingValue = spacing;
    invalidate();
}

int NegativeSpacingHBoxLayout::spacing() const
{
    return m_spacingValue;
}

void NegativeSpacingHBoxLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    if (count() == 0)
        return;
    int left = 0, top = 0, right = 0, bottom = 0;
    getContentsMargins(&left, &top, &right, &bottom);
    const int itemHeight = rect.height() - top - bottom;
    // measured from the owning widget's origin, which is where this layout sits
    int x = left;
    const int y = top;
    for (int i = 0; i < count(); ++i) {
        QLayoutItem* item = itemAt(i);
        if (!item || item->isEmpty())
            continue;
        const int w = item->sizeHint().width();
        item->setGeometry(QRect(x, y, w, itemHeight));
        x += w + m_spacingValue;
    }
}

QSize NegativeSpacingHBoxLayout::sizeHint() const
{
    QSize hint = QHBoxLayout::sizeHint();
    const int n = count();
    if (n >= 2 && m_spacingValue < 0)
        hint.setWidth(qMax(0, hint.width() + (n - 1) * m_spacingValue));
    return hint;
}
