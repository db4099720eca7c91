#pragma once
// Plot with a right-button crosshair: a right press over a plot that has a
// graph draws red lines through the point and shows its data coordinates; the
// release takes the lines away and leaves the read-outs.

#include <qcustomplot.h>

class CustomPlot : public QCustomPlot
{
    Q_OBJECT
public:
    explicit CustomPlot(QWidget* parent = nullptr);

    void hideCursor();
    void hideCursorLines();
    void setCursorLines(double x, double y);
    void setCursorText(double x, double y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QCPItemLine* m_cursorLineH = nullptr;
    QCPItemLine* m_cursorLineV = nullptr;
    QCPItemText* m_cursorTextX = nullptr;
    QCPItemText* m_cursorTextY = nullptr;
};
