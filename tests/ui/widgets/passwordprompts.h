#pragma once
// The service password lock's prompts on screen: its password dialogs and
// its "wrong password" boxes, and closing them when a test is done.

#include <QApplication>
#include <QInputDialog>
#include <QList>
#include <QMessageBox>
#include <QString>

namespace passwordprompts
{

const QString kPassword = QStringLiteral("vbnq20191105");

inline QList<QInputDialog*> passwordDialogs()
{
    QList<QInputDialog*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QInputDialog*>(w))
            if (d->isVisible() && d->windowTitle() == QStringLiteral("验证密码"))
                out << d;
    return out;
}

inline QList<QMessageBox*> errorBoxes()
{
    QList<QMessageBox*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w))
            if (b->isVisible() && b->windowTitle() == QStringLiteral("错误"))
                out << b;
    return out;
}

inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void closeDialogs()
{
    for (QInputDialog* d : passwordDialogs())
        d->reject();
    for (QMessageBox* b : errorBoxes())
        b->close();
    flushDeletes();
}

} // namespace passwordprompts
