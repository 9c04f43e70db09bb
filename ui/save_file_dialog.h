// The save dialog of the results window's exports, behind an interface so
// that tests can answer it.
#pragma once

#include <QString>

class QWidget;

namespace hydrosk::ui {

class SaveFileDialog {
public:
    virtual ~SaveFileDialog() = default;
    // Asks where to save, proposing `proposedPath`; an empty text when the
    // user cancelled.
    virtual QString chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& proposedPath) = 0;
};

// QFileDialog, asking before it replaces a file.
class QtSaveFileDialog final : public SaveFileDialog {
public:
    QString chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& proposedPath) override;
};

}  // namespace hydrosk::ui
