// hydrosk: the desktop window of Hydrosk.
#include <QApplication>

#include "toolkit/portable_math.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hydrosk"));
    QApplication::setWindowIcon(hydrosk::ui::HydroskIcon());
    hydrosk::ui::MainWindow window(hydrosk::ui::DesktopServices());
    window.show();
    return QApplication::exec();
}
