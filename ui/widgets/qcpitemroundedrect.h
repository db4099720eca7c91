#pragma once
// Rectangle item with rounded corners, placed by fractions of the plot's first
// axis rectangle; used as value badges on a chart.

#include <qcustomplot.h>

class QCPItemRoundedRect : public QCPItemRect
{
public:
    explicit QCPItemRoundedRect(QCustomPlot* parentPlot);

    static constexpr double kRadius = 6.0;

protected:
    void draw(QCPPainter* painter) override;
};
