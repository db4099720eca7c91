#pragma once
// The pages' card background: white at the top to pale blue at the bottom,
// over whatever it fills (a chart's background).

#include <QBrush>
#include <QColor>
#include <QLinearGradient>
#include <QString>

inline QBrush cardGradient()
{
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor(QStringLiteral("#FFFFFF")));
    gradient.setColorAt(1, QColor(QStringLiteral("#EDF6FF")));
    return QBrush(gradient);
}
