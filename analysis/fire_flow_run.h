// One fire-flow run, from the RUN command to its end: the checks of the inputs, the per-junction
// limits from the constraint files, the network opened and catalogued, one of the three
// searches writing the results file, the completion question and the settings file.
#pragma once

#include <filesystem>
#include <string>

#include "analysis/run_inputs.h"
#include "analysis/run_observer.h"

namespace hydrosk::analysis {

enum class RunStatus {
    Completed,  // the results file is complete (and the settings file written, if kept)
    Refused,    // ended by a refusal of the inputs or of the network; nothing was written
    Failed,     // ended by a failure; a results file may hold the rows completed before it
};

struct RunResult {
    RunStatus status = RunStatus::Completed;
    std::string message;  // the refusal or failure that ended the run; empty when completed

    // What the run cost: hydraulic solves (steady-state solves and extended-period time
    // steps), their iterations, and the run's wall-clock time in seconds.
    long solves = 0;
    long iterations = 0;
    double seconds = 0;
};

// Performs the run. Every message, the question, the progress and the pointer go through the
// observer; the message that ends a run early is also returned. Scratch files of the toolkit
// ("rep.dat") go to the current directory. Nothing is thrown.
RunResult RunFireFlow(const RunInputs& inputs, RunObserver& observer);

}  // namespace hydrosk::analysis
