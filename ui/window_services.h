// What the windows need from the desktop, behind small interfaces so that
// tests can stand in for the modal message boxes, the file dialog and the
// browser, mail program and text viewer.
#pragma once

#include <QString>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <string_view>

class QWidget;

namespace hydrosk::ui {

// Modal message boxes with the caption "Hydrosk2" and no icon.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A message with an OK button; `detail` (may be empty) goes below it.
    virtual void inform(QWidget* parent, const QString& text, const QString& detail) = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
};

// The file-open dialog of the INP selection.
class InpFileDialog {
public:
    virtual ~InpFileDialog() = default;
    // Shows the dialog starting in `directory` with `previousFile` (may be
    // empty) as the proposed name; returns the chosen path, or an empty text
    // when the user cancelled.
    virtual QString chooseFile(QWidget* parent, const QString& title, const QString& filter,
                               const QString& directory, const QString& previousFile) = 0;
};

// Opens web addresses, mail messages and files with the desktop's programs,
// without waiting for them.
class DesktopLauncher {
public:
    virtual ~DesktopLauncher() = default;
    // False when no program could be started for it.
    virtual bool open(const QUrl& target) = 0;
};

// Everything the main window takes from outside. The defaults are the real
// desktop and the executable's directory.
struct WindowServices {
    std::shared_ptr<MessageBoxes> messages;
    std::shared_ptr<InpFileDialog> inpDialog;
    std::shared_ptr<DesktopLauncher> desktop;
    // The program's own directory: "HydroskSettings.txt" is read there at
    // start-up and written there after a run, and the INP file dialog starts
    // there until a directory is known.
    std::filesystem::path programDirectory;
};

// QMessageBox, QFileDialog, QDesktopServices and the application directory.
// Needs a QApplication.
WindowServices DesktopServices();

// The caption of every message box.
inline constexpr char kMessageCaption[] = "Hydrosk2";

// Text for the file system from a path the user chose, and back.
std::filesystem::path ToFileSystemPath(const QString& path);
QString FromFileSystemPath(const std::filesystem::path& path);

// Bytes from a network or a file (an ID in any code page) for display: UTF-8
// when they are valid UTF-8, otherwise Latin-1.
QString DisplayText(std::string_view bytes);

}  // namespace hydrosk::ui
