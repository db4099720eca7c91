#pragma once
// What the operator sees and does on a page: the text a named widget shows,
// an edit typed over, the pick in a popup menu on screen.

#include "ui/widgets/custommenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QtTest>

// The text of root's button, edit or label of that name.
inline QString childText(const QWidget* root, const char* name)
{
    if (auto* b = root->findChild<QAbstractButton*>(QLatin1String(name)))
        return b->text();
    if (auto* e = root->findChild<QLineEdit*>(QLatin1String(name)))
        return e->text();
    if (auto* l = root->findChild<QLabel*>(QLatin1String(name)))
        return l->text();
    return QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// Replaces the edit's text by typing, then Return.
inline void typeOver(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

struct ShownMenuEntry {
    CustomMenu* menu = nullptr;
    QPushButton* item = nullptr;
};

// The first entry reading text in a popup menu on screen (only owner's
// menus, when owner is given); both null when there is none.
inline ShownMenuEntry shownMenuEntry(const QString& text, const QWidget* owner = nullptr)
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* menu = qobject_cast<CustomMenu*>(top);
        if (!menu || !menu->isVisible() || (owner && menu->parentWidget() != owner))
            continue;
        for (QPushButton* item : menu->itemButtons())
            if (item->text() == text)
                return {menu, item};
    }
    return {};
}
