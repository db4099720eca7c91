#pragma once
// Looks up the main window's own objects by name. The pages carry names of
// their own forms ("label" among them), so the page stack is left out of the
// search.

#include <QObject>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

inline QObject* windowOwn(QWidget* w, const QString& name)
{
    const auto* pages = w->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    for (QObject* o : w->findChildren<QObject*>(name)) {
        bool inPage = false;
        for (QObject* p = o->parent(); p && !inPage; p = p->parent())
            inPage = p == pages;
        if (!inPage)
            return o;
    }
    return nullptr;
}
