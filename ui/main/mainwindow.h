#pragma once
// The application's only top-level window. It draws its own frame: a title
// bar with logo, language selector and window buttons, the row of page tabs,
// the page stack and the bottom bar. It is moved by dragging anywhere that no
// child takes the press, and resized by an 8-pixel band along its edges.

#include <QMainWindow>
#include <QPoint>
#include <QRect>

class ParamManager;
class QPushButton;
class Ui_MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Where a point falls in the frame, corners before edges.
    enum EdgeRegion {
        EdgeInside = 0,
        EdgeLeft = 1,
        EdgeRight = 2,
        EdgeTop = 3,
        EdgeBottom = 4,
        EdgeTopLeft = 5,
        EdgeTopRight = 6,
        EdgeBottomLeft = 7,
        EdgeBottomRight = 8
    };

    explicit MainWindow(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainWindow() override;

    int edgeRegionAt(const QPoint& pos) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void initTitleBar();
    void initWindow();
    void setupNavButton(QPushButton* button, const QString& normalIcon, const QString& pressedIcon);
    void onNavButtonToggled(QPushButton* button, bool checked);
    void onMaxButtonClicked();
    void updateEdgeCursor(const QPoint& pos);
    void setMouseTrackingRecursive(QWidget* widget);
    static QString titleButtonStyle(const QString& normal, const QString& hover, const QString& pressed);

    Ui_MainWindow* ui = nullptr;
    ParamManager* paramManager = nullptr;

    // frameless move and resize
    int borderWidth = 8;
    bool dragging = false;
    QPoint pressPosition;
    QRect startGeometry;
    int edgeRegion = EdgeInside;
};
