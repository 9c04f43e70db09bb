// The main window frmMain: the INP file and results file rows, the three
// common inputs, the steady-state and extended-period pages, RUN, the
// constraints dialog, the help area and the maker's links. A thin controller:
// the files, the network catalogue and the run live in their own libraries.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "network/net_load.h"
#include "ui/main_window_form.h"
#include "ui/window_services.h"

namespace hydrosk::toolkit {
class Project;
}

namespace hydrosk::ui {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Runs the start-up sequence, the settings file included.
    explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The results file path: INP path + "." + the selected extension.
    const QString& outputFileName() const { return outputFileName_; }
    // The INP file's directory, ending in the directory separator; empty until
    // an INP file has been opened.
    const std::string& inpDirectory() const { return inpDirectory_; }
    // Minimal pressures by junction position (index 0 unused), all 0 after a selection.
    const std::vector<float>& junctionMinPressure() const { return junctionMinPressure_; }
    const network::NetworkCatalogue& catalogue() const { return catalogue_; }
    // Where the INP file dialog starts.
    const QString& dialogDirectory() const { return dialogDirectory_; }
    bool isRunning() const { return running_; }

    // Reads the settings file (beside the program, or in the user's
    // configuration folder for an installed program) into the five boxes and
    // the INP dialog's directory; silent on every failure.
    void LoadSettings();
    // Where a run writes the settings file.
    const std::filesystem::path& settingsFolder() const { return settingsFolder_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void chooseInpFile();
    void openInpFile(const QString& path);
    void deriveOutputFileName();
    void showConstraints();
    void run();
    void selectFindDuration();
    void selectFindFlow();
    void tickLongRun();
    void openLink(const QString& target);
    void setRunControlsEnabled(bool enabled);
    std::string scratchFile(const char* name);

    WindowServices services_;
    std::filesystem::path settingsFolder_;
    MainWindowForm form_;

    QString outputFileName_;
    int flowUnitsCode_ = 0;
    QString flowUnitName_;
    QString pressureUnitName_;
    QString dialogDirectory_;
    QString dialogFileName_;

    std::string inpDirectory_;
    std::vector<float> junctionMinPressure_;
    network::NetworkCatalogue catalogue_;
    std::unique_ptr<toolkit::Project> project_;

    bool running_ = false;
    bool closeRequested_ = false;
    // Where the toolkit's scratch files go when the current folder cannot be written; removed
    // with the window.
    std::unique_ptr<QTemporaryDir> scratchFolder_;
};

// The window icon in 16 and 32 pixel sizes.
QIcon HydroskIcon();

}  // namespace hydrosk::ui
