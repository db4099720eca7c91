// MainWindow's own frame: the title bar, the page tabs, the styling of the
// bottom bar's buttons and edits, and moving and resizing by the mouse.
#include "ui/main/mainwindow.h"

#include "ui/widgets/negativespacinghboxlayout.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpacerItem>

namespace {

const char kNormalIconProperty[] = "normalIcon";
const char kPressedIconProperty[] = "pressedIcon";

const char kPillButtonStyle[] =
    "QPushButton { border: none; border-radius: 22px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2);"
    " font-family: MiSans; font-size: 18px; color: #FFFFFF; padding: 10px 20px; }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %3, stop:1 %4); }"
    "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %5, stop:1 %6); }";

const char kEditStyle[] =
    "QLineEdit { background: #F1F8FF; border-radius: 6px; border: 1px solid rgba(185,198,212,143);"
    " font-family: MiSans; font-size: 18px; color: #2B3B50; }";

const char kBarLabelStyle[] = "QLabel { font-family: MiSans; font-size: 18px; color: #77818E; }";

} // namespace

QString MainWindow::titleButtonStyle(const QString& normal, const QString& hover, const QString& pressed)
{
    static const QString style = QStringLiteral(
        "QPushButton { background-image: url(%1); background-repeat: no-repeat;"
        " background-position: center; border: none; background-color: transparent;"
        " min-width: 25px; min-height: 25px; }"
        "QPushButton:hover { background-image: url(%2); }"
        "QPushButton:pressed { background-image: url(%3); }");
    return style.arg(normal, hover, pressed);
}

void MainWindow::initTitleBar()
{
    // 1. title bar background and title
    ui->mainTopWidget->setStyleSheet(QStringLiteral(
        "#mainTopWidget { background-image: url(:/topbackground.png); background-repeat: no-repeat;"
        " background-position: center; border: none; }"));
    ui->label_title->setStyleSheet(QStringLiteral(
        "QLabel { font-family: MiSans; font-size: 22px; font-weight: 400; color: #FFFFFF;"
        " margin: 0px; padding: 0px; background: transparent; }"));

    // 2. spacing of the title row and of its right-hand group
    ui->titleRowLayout->setSpacing(0);
    ui->titleRowLayout->insertSpacing(ui->titleRowLayout->indexOf(ui->label_2) + 1, 21);
    QHBoxLayout* right = ui->rightGroupLayout;
    right->setSpacing(0);
    right->insertSpacing(right->indexOf(ui->label_3) + 1, 12);
    right->insertSpacing(right->indexOf(ui->label_language) + 1, 16);
    right->insertSpacing(right->indexOf(ui->btn_Language) + 1, 38);
    right->insertSpacing(right->indexOf(ui->btn_Min) + 1, 8);
    right->insertSpacing(right->indexOf(ui->btn_Max) + 1, 8);
    ui->label_3->setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_2->setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_language->setStyleSheet(QStringLiteral(
        "QLabel { font-family: MiSans; font-size: 18px; color: #FFFFFF; background: transparent; }"));

    // 3. window buttons
    ui->btn_Min->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMinNormal.png"), QStringLiteral(":/btnMinAt.png"),
                                                QStringLiteral(":/btnMinPress.png")));
    ui->btn_Max->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMaxNormal.png"), QStringLiteral(":/btnMaxAt.png"),
                                                QStringLiteral(":/btnMaxPress.png")));
    ui->btn_Close->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnCloseNormal.png"),
                                                  QStringLiteral(":/btnCloseAt.png"), QStringLiteral(":/btnClosePress.png")));
    ui->btn_Language->setStyleSheet(
        titleButtonStyle(QStringLiteral(":/btnLanguageNormal.png"), QStringLiteral(":/btnLanguageAt.png"),
                         QStringLiteral(":/btnLanguagePress.png")) +
        QStringLiteral("QPushButton::menu-indicator { image: none; width: 0px; height: 0px; }"));

    // 4. their connections
    connect(ui->btn_Min, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btn_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btn_Max, &QPushButton::clicked, ui->btn_Max, [this] { onMaxButtonClicked(); }, Qt::DirectConnection);

    // 5. page tabs: overlapping by 13 px
    auto* tabs = new NegativeSpacingHBoxLayout(ui->widget_topButtons);
    tabs->setObjectName(QStringLiteral("topTabsLayout"));
    int left = 0, top = 0, rightMargin = 0, bottom = 0;
    tabs->getContentsMargins(&left, &top, &rightMargin, &bottom);
    qDebug() << "left:" << left;
    tabs->setContentsMargins(left, 0, rightMargin, 0);
    tabs->setSpacing(-13);
    for (QPushButton* b : {ui->btnMain, ui->btnSensitivity, ui->btnVector, ui->btnSave, ui->btnHelp, ui->btnMonitor,
                           ui->btnConfig})
        tabs->addWidget(b);
    tabs->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    ui->widget_topButtons->setStyleSheet(QStringLiteral("#widget_topButtons { background: transparent; border: none; }"));
    ui->verticalLayout_2->insertSpacerItem(ui->verticalLayout_2->indexOf(ui->widget_topButtons),
                                           new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    // 6. Clear Plot
    ui->btn_clearPlot->setStyleSheet(QString::fromLatin1(kPillButtonStyle)
                                         .arg(QStringLiteral("#8FA4B9"), QStringLiteral("#A4B7C8"),
                                              QStringLiteral("#2A7ACD"), QStringLiteral("#4293E8"),
                                              QStringLiteral("#0557AB"), QStringLiteral("#4293E8")));
    ui->btn_clearPlot->setIcon(QIcon(QStringLiteral(":/ClearPlot.png")));
    ui->btn_clearPlot->setIconSize(QSize(17, 20));

    // 7. the four edits
    for (QLineEdit* e : {ui->edt_lowPass, ui->edt_highPass, ui->edt_fftTime, ui->edt_dataRate}) {
        e->setFixedSize(76, 44);
        e->setStyleSheet(QLatin1String(kEditStyle));
    }

    // 8. Reboot
    ui->btn_reboot->setStyleSheet(QString::fromLatin1(kPillButtonStyle)
                                      .arg(QStringLiteral("#C03837"), QStringLiteral("#EC5858"),
                                           QStringLiteral("#A32928"), QStringLiteral("#EC5858"),
                                           QStringLiteral("#890807"), QStringLiteral("#EC5858")));
    ui->btn_reboot->setIcon(QIcon(QStringLiteral(":/Reboot.png")));
    ui->btn_reboot->setIconSize(QSize(20, 20));

    // 9. bottom-bar labels
    for (QLabel* l : {ui->lbl_lowPass, ui->lbl_highPass, ui->lbl_fftTime, ui->label_FFT_Unit, ui->label,
                      ui->label_DataRateUnit})
        l->setStyleSheet(QLatin1String(kBarLabelStyle));

    // 10. page tabs and their icons
    setupNavButton(ui->btnMain, QStringLiteral(":/mainNormalIcon.png"), QStringLiteral(":/mainPressIcon.png"));
    setupNavButton(ui->btnSensitivity, QStringLiteral(":/SensitivityNormalIcon.png"),
                   QStringLiteral(":/SensitivityPressIcon.png"));
    setupNavButton(ui->btnVector, QStringLiteral(":/SensitivityNormalIcon.png"),
                   QStringLiteral(":/SensitivityPressIcon.png"));
    setupNavButton(ui->btnSave, QStringLiteral(":/SaveNormalIcon.png"), QStringLiteral(":/SavePressIcon.png"));
    setupNavButton(ui->btnHelp, QStringLiteral(":/helpNormalIcon.png"), QStringLiteral(":/helpPressIcon.png"));
    setupNavButton(ui->btnMonitor, QStringLiteral(":/debugNormalIcon.png"), QStringLiteral(":/debugPressIcon.png"));
    setupNavButton(ui->btnConfig, QStringLiteral(":/configNormalIcon.png"), QStringLiteral(":/configPressIcon.png"));

    // 11. page area and bottom bar
    ui->stackedWidget->setStyleSheet(QStringLiteral(
        "#stackedWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #F9FAFC, stop:1 #E1ECF8); }"));
    ui->bottomWidget->setStyleSheet(QStringLiteral(
        "#bottomWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #E1ECF8, stop:1 #DFEBF8); }"));
}

void MainWindow::setupNavButton(QPushButton* button, const QString& normalIcon, const QString& pressedIcon)
{
    button->setCheckable(true);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { background-image: url(:/topBtnNormal.png); background-repeat: no-repeat;"
        " background-position: center; background-color: transparent; border: none;"
        " font-family: MiSans; font-size: 20px; font-weight: 400; color: #2B3B50; }"
        "QPushButton:checked { background-image: url(:/topBtnPress.png); color: #1667BA; }"));
    button->setProperty(kNormalIconProperty, normalIcon);
    button->setProperty(kPressedIconProperty, pressedIcon);
    button->setIconSize(QSize(24, 24));
    onNavButtonToggled(button, button->isChecked());
    connect(button, &QPushButton::toggled, this, [this, button](bool checked) { onNavButtonToggled(button, checked); });
}

void MainWindow::onNavButtonToggled(QPushButton* button, bool checked)
{
    const char* which = checked ? kPressedIconProperty : kNormalIconProperty;
    button->setIcon(QIcon(button->property(which).toString()));
}

void MainWindow::onMaxButtonClicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
    if (isMaximized())
        ui->btn_Max->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMaxNormal1.png"),
                                                    QStringLiteral(":/btnMaxAt1.png"), QStringLiteral(":/btnMaxPress1.png")));
    else
        ui->btn_Max->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMaxNormal.png"), QStringLiteral(":/btnMaxAt.png"),
                                                    QStringLiteral(":/btnMaxPress.png")));
}

void MainWindow::setMouseTrackingRecursive(QWidget* widget)
{
    const QList<QWidget*> children = widget->findChildren<QWidget*>();
    for (QWidget* child : children)
        child->setMouseTracking(true);
}

int MainWindow::edgeRegionAt(const QPoint& pos) const
{
    const int b = borderWidth;
    const bool left = pos.x() < b;
    const bool top = pos.y() < b;
    const bool right = pos.x() > width() - b;
    const bool bottom = pos.y() > height() - b;
    if (left && top)
        return EdgeTopLeft;
    if (right && top)
        return EdgeTopRight;
    if (left && bottom)
        return EdgeBottomLeft;
    if (right && bottom)
        return EdgeBottomRight;
    if (top)
        return EdgeTop;
    if (bottom)
        return EdgeBottom;
    if (left)
        return EdgeLeft;
    if (right)
        return EdgeRight;
    return EdgeInside;
}

void MainWindow::updateEdgeCursor(const QPoint& pos)
{
    switch (edgeRegionAt(pos)) {
    case EdgeLeft:
    case EdgeRight:
        setCursor(Qt::SizeHorCursor);
        break;
    case EdgeTop:
    case EdgeBottom:
        setCursor(Qt::SizeVerCursor);
        break;
    case EdgeTopLeft:
    case EdgeBottomRight:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case EdgeTopRight:
    case EdgeBottomLeft:
        setCursor(Qt::SizeBDiagCursor);
        break;
    default:
        unsetCursor();
        break;
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QMainWindow::mousePressEvent(event);
        return;
    }
    dragging = true;
    pressPosition = event->globalPos();
    startGeometry = geometry();
    edgeRegion = edgeRegionAt(event->pos());
    event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging) {
        updateEdgeCursor(event->pos());
        return;
    }
    const QPoint delta = event->globalPos() - pressPosition;
    if (edgeRegion == EdgeInside) {
        move(startGeometry.topLeft() + delta);
        return;
    }
    QRect r = startGeometry;
    if (edgeRegion == EdgeLeft || edgeRegion == EdgeTopLeft || edgeRegion == EdgeBottomLeft)
        r.setLeft(r.left() + delta.x());
    if (edgeRegion == EdgeRight || edgeRegion == EdgeTopRight || edgeRegion == EdgeBottomRight)
        r.setRight(r.right() + delta.x());
    if (edgeRegion == EdgeTop || edgeRegion == EdgeTopLeft || edgeRegion == EdgeTopRight)
        r.setTop(r.top() + delta.y());
    if (edgeRegion == EdgeBottom || edgeRegion == EdgeBottomLeft || edgeRegion == EdgeBottomRight)
        r.setBottom(r.bottom() + delta.y());
    // Past the minimum the grabbed left or top edge pushes the window along.
    if (r.width() < minimumWidth())
        r.setRight(r.left() + minimumWidth() - 1);
    if (r.height() < minimumHeight())
        r.setBottom(r.top() + minimumHeight() - 1);
    setGeometry(r);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    edgeRegion = EdgeInside;
    QMainWindow::mouseReleaseEvent(event);
}

void MainWindow::leaveEvent(QEvent* event)
{
    unsetCursor();
    QMainWindow::leaveEvent(event);
}
