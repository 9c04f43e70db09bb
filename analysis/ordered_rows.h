// A search's junctions computed on worker threads and written in catalogue order, while the
// thread that started the run (the window's) only writes rows and serves its events.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "analysis/junction_pool.h"
#include "analysis/run_observer.h"
#include "files/record_layout.h"

namespace hydrosk::analysis {

// The longest the starting thread goes without serving events during a search.
inline constexpr std::chrono::milliseconds kServeEventsInterval{50};

// Where a search's records go: the results file, the observer, or both.
using RecordWrite = std::function<void(const files::Record&)>;

// Rows of junctions 1 to `count` from workers made by `factory` on the threads (and the other
// processes) of `parallelism`, written
// through `write` in position order, each once every earlier row is written. The progress value
// is the number of rows written. A junction that throws ends the search with its exception
// after the rows before it, as if the junctions had run one after the other; so does an
// exception out of the observer's ServeEvents (the window was closed, the run interrupted).
// Either way the workers are stopped and joined before this returns.
// Gives the junctions among the written ones whose trials could not all be solved.
struct UnsolvedSummary {
    int trials = 0;
    int first_code = 0;
    std::vector<int> positions;  // in catalogue order
};
UnsolvedSummary WriteRowsInOrder(int count, const Parallelism& parallelism,
                                 const WorkerFactory& factory, const RecordWrite& write,
                                 RunObserver& observer);

// Workers whose row r (1 to the count of `positions`) is the row of junction positions[r - 1]
// of the workers of `factory`; `positions` rise.
WorkerFactory SelectedRows(WorkerFactory factory, std::vector<int> positions);

// How a worker without state of its own computes a row: `row(position, stop, unsolved)`, with
// the junction's unsolved trials counted into `unsolved` (which starts from none).
using RowFunction =
    std::function<files::Record(int position, const std::atomic<bool>* stop, UnsolvedTrials&)>;

// A factory of workers without state of their own.
WorkerFactory StatelessWorkers(RowFunction row);

}  // namespace hydrosk::analysis
