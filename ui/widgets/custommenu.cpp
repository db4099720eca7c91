#include "ui/widgets/custommenu.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kItemStyle[] =
    "QPushButton {"
    " font-family: MiSans; font-weight: 400; font-size: 16px;"
    " color: #2B3B50; padding: 6px 12px; background-color: transparent;"
    " border: none; text-align: left; }"
    "QPushButton:hover, QPushButton:focus {"
    " color: #2C7ED3; background-color: rgba(44,126,211,0.08); }";

} // namespace

CustomMenu::CustomMenu(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    m_itemLayout = new QVBoxLayout(this);
    m_itemLayout->setContentsMargins(6, 6, 6, 6);
    m_itemLayout->setSpacing(0);
    setFixedWidth(180);
}

CustomMenu* CustomMenu::createSelector(QWidget* parent, const QStringList& entries, const QVariant& data,
                                       const QString& styleName)
{
    auto* menu = new CustomMenu(parent);
    menu->setProperty("name", styleName);
    for (const QString& entry : entries)
        menu->addAction(entry, data);
    return menu;
}

void CustomMenu::showBelow(QWidget* button)
{
    adjustSize();
    move(button->mapToGlobal(QPoint(0, button->height())));
    show();
}

void CustomMenu::addAction(const QString& text, const QVariant& data)
{
    auto* button = new QPushButton(text, this);
    button->setCursor(Qt::PointingHandCursor);
    button->setProperty("actionData", data);
    button->setStyleSheet(QLatin1String(kItemStyle));
    m_itemLayout->addWidget(button);
    m_itemButtons.append(button);
    connect(button, &QPushButton::clicked, this, &CustomMenu::onItemButtonClicked);
}

void CustomMenu::clearActions()
{
    for (QPushButton* button : qAsConst(m_itemButtons)) {
        m_itemLayout->removeWidget(button);
        disconnect(button, nullptr, this, nullptr);
        button->hide();
        button->deleteLater();
    }
    m_itemButtons.clear();
}

void CustomMenu::onItemButtonClicked()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button)
        return;
    emit triggered(button->text(), button->property("actionData"));
    close();
}

void CustomMenu::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 6, 6, Qt::AbsoluteSize);
    painter.fillPath(path, QColor(QStringLiteral("#FFFFFF")));
}
