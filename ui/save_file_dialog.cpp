#include "ui/save_file_dialog.h"

#include <QFileDialog>

namespace hydrosk::ui {

QString QtSaveFileDialog::chooseSaveFile(QWidget* parent, const QString& title,
                                         const QString& filter, const QString& proposedPath) {
    return QFileDialog::getSaveFileName(parent, title, proposedPath, filter);
}

}  // namespace hydrosk::ui
