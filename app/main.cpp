#include "app/appmanager.h"
#include "core/types.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    registerMainMetaTypes();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    int code = 0;
    {
        AppManager manager;
        manager.start();
        code = QApplication::exec();
    }
    return code;
}
