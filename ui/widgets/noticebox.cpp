#include "ui/widgets/noticebox.h"

#include <QIcon>
#include <QString>

void openNoticeBox(QMessageBox::Icon icon, const QString& title, const QString& text, const QIcon& windowIcon)
{
    auto* box = new QMessageBox;
    box->setWindowIcon(windowIcon);
    box->setIcon(icon);
    box->setWindowTitle(title);
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void openInfoBox(const QString& text, const QIcon& windowIcon)
{
    openNoticeBox(QMessageBox::Information, QStringLiteral("提示"), text, windowIcon);
}
