// hydrosk: the desktop window of Hydrosk.
#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hydrosk"));
    QApplication::setWindowIcon(hydrosk::ui::HydroskIcon());
    hydrosk::ui::MainWindow window(hydrosk::ui::DesktopServices());
    window.show();
    return QApplication::exec();
}
