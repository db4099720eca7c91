#pragma once
// Frameless popup list of flat text buttons; reports the chosen entry as
// (text, data) and then closes.

#include <QStringList>
#include <QVariant>
#include <QVector>
#include <QWidget>

class QPushButton;
class QVBoxLayout;

class CustomMenu : public QWidget
{
    Q_OBJECT
public:
    explicit CustomMenu(QWidget* parent = nullptr);

    // The popup of a page's selector button: its entries each report data
    // when chosen; styleName picks its style by the "name" property.
    static CustomMenu* createSelector(QWidget* parent, const QStringList& entries, const QVariant& data,
                                      const QString& styleName);
    // Shows the menu right below button, left edges aligned.
    void showBelow(QWidget* button);

    void addAction(const QString& text, const QVariant& data);
    // The buttons are taken out at once but deleted from the event loop: a
    // receiver of triggered() that rebuilds the menu runs inside the click of
    // one of them.
    void clearActions();

    QVector<QPushButton*> itemButtons() const { return m_itemButtons; }

signals:
    void triggered(QString text, QVariant data);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void onItemButtonClicked();

private:
    QVBoxLayout* m_itemLayout = nullptr;
    QVector<QPushButton*> m_itemButtons;
};
