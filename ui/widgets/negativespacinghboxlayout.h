#pragma once
// Horizontal layout whose spacing may be negative, so that neighbours overlap
// (the page tabs). Every visible item gets its size-hint width; stretch,
// alignment and spare width are ignored.

#include <QHBoxLayout>

class NegativeSpacingHBoxLayout : public QHBoxLayout
{
    Q_OBJECT
public:
    explicit NegativeSpacingHBoxLayout(QWidget* parent = nullptr);

    // Hides QBoxLayout::setSpacing/spacing: the base spacing is left alone.
    void setSpacing(int spacing);
    int spacing() const;

    void setGeometry(const QRect& rect) override;
    QSize sizeHint() const override;

private:
    int m_spacingValue = -5;
};
