// The study window: a fire-flow study set up on the network map. Opening an
// INP file draws its network at once; the study panel holds the study's
// options in the user's number format with their units; hydrants are all
// junctions, those of a file, or those picked on the map by click and
// rectangle, or else fire groups (hydrants flowing together) of a file or of
// the nearest junctions on the map; "Export report" writes the parameters, the network, the map and
// the results as a PDF. The map is the results window's map view.
//
// Run runs the study off the window's thread (StudyRun) and writes the results
// file beside the INP file: the progress bar counts the junctions done and the
// time left, the rows appear in the table and on the map, judged, as they
// complete, and Cancel (or closing the window) ends the run within a second.
//
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/run_settings.h"
#include "files/results_file.h"
#include "network/network_map.h"
#include "ui/save_file_dialog.h"
#include "ui/window_services.h"

class QComboBox;
class QProgressBar;
class QPushButton;
class QTableView;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace hydrosk::ui {

class FireGroupsBox;
class NetworkMapView;
class ResultsSortFilterModel;
class ResultsTableModel;
class StudyRun;
struct StudyRunEnd;

// What the study window takes from outside.
struct StudyServices {
    std::shared_ptr<MessageBoxes> messages;
    std::shared_ptr<InpFileDialog> openDialog;  // INP, required-flows and hydrant files
    std::shared_ptr<SaveFileDialog> saveDialog;
};

class StudyWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StudyWindow(StudyServices services, QWidget* parent = nullptr);
    ~StudyWindow() override;

    // Reads the network and draws it. False, after a message, when it cannot
    // be read; the window keeps what it showed.
    bool openNetwork(const std::filesystem::path& inpFile);

    NetworkMapView& mapView() { return *mapView_; }
    // The hydrants picked on the map, by node index.
    const std::set<int>& pickedHydrants() const { return picked_; }
    // The junctions below the minimum at the demand time without fire flow,
    // from the last baseline shown (excluded junctions are not among them).
    const std::vector<std::string>& belowMinimum() const { return belowMinimum_; }
    // Adds them to NoCheck.txt beside the INP file and shows the baseline
    // again; false when there were none or the file could not be written.
    bool excludeJunctionsBelowMinimum();
    // The study's options as the report gives them: caption, value and unit.
    std::vector<std::pair<QString, QString>> parameters() const;
    // Writes the report; false, after a message, when the file cannot be written.
    bool writeReport(const QString& path);

    // Starts the study's run (as the Run button does); false, after a message,
    // when a field holds no valid number or no network is open.
    bool startRun();
    bool running() const;
    // The run's settings as the fields give them; nullopt, after a message,
    // when a field holds no valid number.
    std::optional<analysis::RunSettings> runSettings();
    // The results file a run writes.
    std::filesystem::path resultsFile() const;
    // The rows of the last run, as they arrived.
    const files::ResultsTable& results() const { return results_; }
    // Worker threads of a run; 0 for every hardware thread.
    void setThreads(int threads) { threads_ = threads; }

signals:
    // A run ended (completed, refused, failed or cancelled) and the window
    // shows its end.
    void runEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildPanel();
    void chooseNetwork();
    void chooseFile(QLabel& shown, const QString& title);
    void exportReport();
    void hydrantsChanged();
    void toggleHydrant(int node);
    void addHydrants(const std::vector<int>& nodes);
    void checkNumber(QLineEdit& field);
    void showUnits();
    // Where the study's options beyond the mode, the minimal pressure and the
    // flows go into the run's settings: the hydrants (all junctions, a file,
    // those picked on the map), the velocity limit, the demand time, the fire
    // duration and demand, the required-flows file. False, after a message,
    // when a field holds no number.
    // Colours the map by the pressure at the demand time without fire flow,
    // the junctions below the minimum in the Fail colour.
    void showBaseline();
    bool putStudyOptions(analysis::RunSettings& settings);
    // The field's number in the user's format, at least 0; nullopt after a
    // message naming the field by `caption`.
    std::optional<float> readNumber(QLineEdit& field, const QString& caption);
    void setRunning(bool running);
    // Forgets the last run's rows and empties the table.
    void clearResults();
    void takeRecords(const QByteArray& records);
    void showProgress(int done);
    void runFinished(const StudyRunEnd& end);
    QString summaryText() const;

    StudyServices services_;
    std::filesystem::path inpFile_;
    std::optional<network::NetworkMap> network_;
    std::set<int> picked_;
    int threads_ = 0;

    // The run and its rows: the header line, the rows parsed, and the node of
    // each row's check junction (-1 for none).
    std::unique_ptr<StudyRun> run_;
    std::string resultsHeader_;
    files::ResultsTable results_;
    std::vector<int> rowNodes_;
    int junctionsToRun_ = 0;
    qint64 runStarted_ = 0;  // milliseconds of a steady clock
    QString runEndText_;

    NetworkMapView* mapView_ = nullptr;
    QLabel* mapNotice_ = nullptr;
    QAction* exportReport_ = nullptr;
    QAction* excludeBelowMinimum_ = nullptr;
    std::vector<std::string> belowMinimum_;
    QComboBox* mode_ = nullptr;
    QLineEdit* minPressure_ = nullptr;
    QLineEdit* velocityLimit_ = nullptr;
    QLineEdit* demandTime_ = nullptr;
    QLineEdit* fireDuration_ = nullptr;
    QComboBox* fireDemand_ = nullptr;
    QLineEdit* requiredFlow_ = nullptr;
    QLabel* requiredFlowsFile_ = nullptr;
    QRadioButton* allJunctions_ = nullptr;
    QRadioButton* hydrantsFile_ = nullptr;
    QRadioButton* hydrantsOnMap_ = nullptr;
    QLabel* hydrantsFileName_ = nullptr;
    QLabel* hydrantCount_ = nullptr;
    QWidget* hydrantsBox_ = nullptr;
    FireGroupsBox* fireGroups_ = nullptr;
    QLabel* pressureUnits_ = nullptr;
    QLabel* velocityUnits_ = nullptr;
    QLabel* demandTimeUnits_ = nullptr;
    QLabel* flowUnits_ = nullptr;
    QLineEdit* maximalFlow_ = nullptr;
    QLabel* maximalFlowUnits_ = nullptr;
    QWidget* optionsPanel_ = nullptr;
    QAction* openNetwork_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* resultsFileName_ = nullptr;
    QLabel* summary_ = nullptr;
    QTableView* table_ = nullptr;
    ResultsTableModel* model_ = nullptr;
    ResultsSortFilterModel* proxy_ = nullptr;
};

// Opens a study window of its own, on `inpFile` when given; it is deleted
// when closed.
StudyWindow* ShowStudyWindow(const std::optional<std::filesystem::path>& inpFile,
                             StudyServices services);

}  // namespace hydrosk::ui
