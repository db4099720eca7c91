#pragma once
// Row of rounded segments showing step-by-step progress: lit segments green,
// the first unlit one yellow, nothing after it.

#include <QVector>
#include <QWidget>

class CustomProgressBar : public QWidget
{
    Q_OBJECT
public:
    explicit CustomProgressBar(QWidget* parent = nullptr);

    // Lights every segment up to index, then sets the one at index to on.
    // An index outside the bar is ignored.
    void setSegmentState(int index, bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_segmentCount = 4;
    int m_segmentSpacing = 5;
    int m_cornerRadius = 4;
    QVector<bool> m_segmentStates;
};
