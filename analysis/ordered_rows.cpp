#include "analysis/ordered_rows.h"

#include <utility>

namespace hydrosk::analysis {
namespace {

class StatelessWorker final : public JunctionWorker {
public:
    StatelessWorker(std::function<files::Record(int, const std::atomic<bool>*)> row,
                    const std::atomic<bool>* stop)
        : row_(std::move(row)), stop_(stop) {}
    files::Record Row(int position) override { return row_(position, stop_); }

private:
    std::function<files::Record(int, const std::atomic<bool>*)> row_;
    const std::atomic<bool>* stop_;
};

}  // namespace

void WriteRowsInOrder(int count, int threads, const WorkerFactory& factory,
                      files::RecordFileWriter& results, RunObserver& observer) {
    using Clock = std::chrono::steady_clock;
    JunctionPool pool(count, threads, factory);
    observer.ServeEvents();
    auto last_served = Clock::now();
    for (int position = 1; position <= count;) {
        std::optional<JunctionOutcome> outcome = pool.TakeNext(kServeEventsInterval);
        if (outcome) {
            if (outcome->failure) {
                pool.Stop();
                std::rethrow_exception(outcome->failure);
            }
            results.Write(outcome->row);
            observer.SetProgressValue(position);
            ++position;
        }
        if (!outcome || Clock::now() - last_served >= kServeEventsInterval) {
            observer.ServeEvents();
            last_served = Clock::now();
        }
    }
}

WorkerFactory StatelessWorkers(std::function<files::Record(int, const std::atomic<bool>*)> row) {
    return [row = std::move(row)](const std::atomic<bool>* stop) {
        return std::make_unique<StatelessWorker>(row, stop);
    };
}

}  // namespace hydrosk::analysis
