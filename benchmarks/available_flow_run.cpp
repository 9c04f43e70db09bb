// One available-flow run on one thread, as `hydrosk-cli fireflow INP --mode available --threads 1
// --stats` makes it, or with every trial cold (the bisection alone) for comparison: alternated
// whole-process runs of the two give the speed ratio of the search on the hydrant curve.
//   available_flow_run INP MIN_PRESSURE MAX_FLOW warm|cold [LANES]
// writes the results beside the INP file (INP.TXT) and prints the solves, their iterations and
// the process's CPU seconds (user + system).
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/fire_flow_run.h"
#include "analysis/run_observer.h"
#include "analysis/run_settings.h"

namespace {

class QuietObserver final : public hydrosk::analysis::RunObserver {
public:
    void ShowMessage(hydrosk::analysis::MessageKind, const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool AskYesNo(const std::string&) override { return false; }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace hydrosk::analysis;
    if (argc < 5 || (std::string(argv[4]) != "warm" && std::string(argv[4]) != "cold")) {
        std::fprintf(stderr, "usage: %s INP MIN_PRESSURE MAX_FLOW warm|cold [LANES]\n", argv[0]);
        return 2;
    }
    RunSettings settings;
    settings.inp_file = argv[1];
    settings.constraints_directory = settings.inp_file.parent_path();
    settings.output_file = settings.inp_file.string() + ".TXT";
    settings.minimal_pressure = std::strtof(argv[2], nullptr);
    AvailableFlowRun run;
    run.maximal_flow = std::strtof(argv[3], nullptr);
    run.warm_starts = std::string(argv[4]) == "warm";
    settings.mode = run;
    settings.parallelism.threads = 1;
    if (argc > 5) settings.parallelism.lanes = std::atoi(argv[5]);
    settings.report_file.clear();
    settings.trial_report_file.clear();
    QuietObserver observer;
    const RunResult result = RunFireFlow(settings, observer);
    if (result.status != RunStatus::Completed) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return 1;
    }
    std::printf("%s solves %ld iterations %ld cpu %.3f\n", argv[4], result.solves,
                result.iterations, CpuSeconds());
    return 0;
}
