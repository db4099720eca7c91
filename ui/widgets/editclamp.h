#pragma once
// Bottom-bar and main-page edits that hold a whole number in a fixed range.

#include <QLineEdit>
#include <QString>
#include <QtGlobal>

// Puts the edit's number into low..high (text that is no number counts as 0),
// writes it back in plain form ("007" becomes "7") and returns it.
inline int clampEditText(QLineEdit* edit, int low, int high)
{
    const int v = qBound(low, edit->text().toInt(), high);
    edit->setText(QString::number(v));
    return v;
}
