#pragma once
// The operator's pick in a popup menu on screen.

#include "ui/widgets/custommenu.h"

#include <QApplication>
#include <QPushButton>
#include <QString>

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
