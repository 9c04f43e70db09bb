// Speed of the study window on Net6 (3,356 nodes): opening the window on the
// network up to its first painted map, and a study's run from Run to its last
// row in the table and on the map, for the design check and the available
// flow, on two worker threads. The network is Net6 with its duration set to 0
// (the design and available-flow runs are steady-state runs), written into a
// temporary directory, with the junctions below 20 psi without fire flow
// listed in NoCheck.txt beside it (else every available flow is 0, limited by
// the same junction). Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "analysis/fire_flow_run.h"
#include "files/record_layout.h"
#include "ui/network_map_view.h"
#include "ui/save_file_dialog.h"
#include "ui/study_window.h"

namespace {

namespace fs = std::filesystem;
const QSize kWindowSize(1400, 900);

class QuietMessages final : public hydrosk::ui::MessageBoxes {
public:
    void inform(QWidget*, const QString& text, const QString& detail) override {
        throw std::runtime_error((text + QStringLiteral(": ") + detail).toStdString());
    }
    bool askYesNo(QWidget*, const QString&) override { return false; }
};

fs::path Net6() {
    static const fs::path inp = [] {
        const fs::path dir = fs::temp_directory_path() / "hydrosk-study-run-benchmark";
        fs::create_directories(dir);
        std::ifstream in(fs::path(HYDROSK_SHARED_NETWORKS) / "Net6.inp", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const fs::path target = dir / "Net6.inp";
        std::ofstream(target, std::ios::binary)
            << std::regex_replace(text.str(), std::regex("Duration[ \t]+96:00"), "Duration 0");
        // A design check at 0 GPM gives every junction's pressure without fire flow.
        struct Baseline final : hydrosk::analysis::RunObserver {
            std::vector<hydrosk::files::Record> below;
            void ResultsRecord(const hydrosk::files::Record& record) override {
                const double pressure =
                    std::holds_alternative<float>(record[2])    ? std::get<float>(record[2])
                    : std::holds_alternative<double>(record[2]) ? std::get<double>(record[2])
                                                                : 1e9;  // the header
                if (pressure < 20) below.push_back({record[0]});
            }
        } baseline;
        hydrosk::analysis::RunSettings settings;
        settings.inp_file = target;
        settings.minimal_pressure = 20;
        settings.mode = hydrosk::analysis::DesignFlowRun{0};
        settings.constraints_directory = dir;
        settings.report_file.clear();
        settings.trial_report_file.clear();
        hydrosk::analysis::RunFireFlow(settings, baseline);
        hydrosk::files::WriteRecordFile(dir / "NoCheck.txt", baseline.below);
        std::printf("%zu junctions below 20 psi without fire flow, in NoCheck.txt\n",
                    baseline.below.size());
        return target;
    }();
    return inp;
}

std::unique_ptr<hydrosk::ui::StudyWindow> OpenStudy() {
    auto window = std::make_unique<hydrosk::ui::StudyWindow>(
        hydrosk::ui::StudyServices{std::make_shared<QuietMessages>(), nullptr,
                                   std::make_shared<hydrosk::ui::QtSaveFileDialog>()});
    window->resize(kWindowSize);
    window->show();
    window->openNetwork(Net6());
    while (!window->windowHandle()->isExposed()) QCoreApplication::processEvents();
    window->mapView().viewport()->repaint();
    return window;
}

// From nothing to the network drawn.
void BM_OpenStudyWindowNet6(benchmark::State& state) {
    for (auto _ : state) {
        auto window = OpenStudy();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenStudyWindowNet6)->Unit(benchmark::kMillisecond)->Iterations(5);

// From Run to the last row shown; argument 0 the design check at 1000 GPM,
// 1 the available flow up to 5000 GPM.
void BM_RunToLastRowNet6(benchmark::State& state) {
    auto window = OpenStudy();
    window->setThreads(2);
    window->findChild<QComboBox*>(QStringLiteral("cmbStudyMode"))
        ->setCurrentIndex(state.range(0) == 0 ? 1 : 0);
    window->findChild<QLineEdit*>(QStringLiteral("txtRequiredFlow"))->setText("1000");
    window->findChild<QLineEdit*>(QStringLiteral("txtMaximalFlow"))->setText("5000");
    for (auto _ : state) {
        QSignalSpy ended(window.get(), &hydrosk::ui::StudyWindow::runEnded);
        window->startRun();
        if (!ended.wait(3600 * 1000)) throw std::runtime_error("the run did not end");
        state.counters["rows"] = static_cast<double>(window->results().rows.size());
    }
}
BENCHMARK(BM_RunToLastRowNet6)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    Net6();  // the copy and its NoCheck.txt, before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(Net6().parent_path());
    return 0;
}
