#pragma once
// Plot drawn on a rounded white-to-pale-blue card; the widget is masked to the
// rounded shape so the corners neither paint nor take the mouse.

#include <qcustomplot.h>

class RoundedCustomPlot : public QCustomPlot
{
public:
    explicit RoundedCustomPlot(QWidget* parent = nullptr);

    static constexpr double kRadius = 11.0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
