#pragma once
// Standard menu cut to a rounded rectangle. QMenu paints with its own
// painter, so a clip set on another painter would not reach it; the widget
// mask keeps both the painting and the mouse inside the rounded shape.

#include <QMenu>

class RoundedMenu : public QMenu
{
public:
    explicit RoundedMenu(QWidget* parent = nullptr);

    static constexpr double kRadius = 6.0;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
