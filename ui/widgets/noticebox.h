#pragma once
// The operator's message boxes: parentless and opened without blocking, so
// that the workers' signals keep flowing while one is shown; each deletes
// itself when closed.

#include <QMessageBox>

class QIcon;
class QString;

void openNoticeBox(QMessageBox::Icon icon, const QString& title, const QString& text, const QIcon& windowIcon);

// A notice titled "提示" with the information icon.
void openInfoBox(const QString& text, const QIcon& windowIcon);
