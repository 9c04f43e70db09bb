#include "analysis/ordered_rows.h"

#include <algorithm>
#include <new>
#include <utility>

#include "analysis/run_messages.h"
#include "analysis/search_common.h"

namespace hydrosk::analysis {
namespace {

class StatelessWorker final : public JunctionWorker {
public:
    StatelessWorker(RowFunction row, const std::atomic<bool>* stop)
        : row_(std::move(row)), stop_(stop) {}
    files::Record Row(int position) override {
        unsolved_ = {};
        return row_(position, stop_, unsolved_);
    }
    UnsolvedTrials LastUnsolved() const override { return unsolved_; }

private:
    RowFunction row_;
    const std::atomic<bool>* stop_;
    UnsolvedTrials unsolved_;
};

class SelectedRowWorker final : public JunctionWorker {
public:
    SelectedRowWorker(std::unique_ptr<JunctionWorker> worker,
                      std::shared_ptr<const std::vector<int>> positions)
        : worker_(std::move(worker)), positions_(std::move(positions)) {}
    files::Record Row(int row) override {
        return worker_->Row((*positions_)[static_cast<std::size_t>(row - 1)]);
    }
    UnsolvedTrials LastUnsolved() const override { return worker_->LastUnsolved(); }

private:
    std::unique_ptr<JunctionWorker> worker_;
    std::shared_ptr<const std::vector<int>> positions_;
};

// Other processes share the positions and outcomes for as long as this lives.
class Attachment {
public:
    Attachment(SharedWork* shared, RisingPositions& positions, OutcomeSink& outcomes)
        : shared_(shared) {
        if (shared_ != nullptr) shared_->Attach(positions, outcomes);
    }
    ~Attachment() {
        if (shared_ != nullptr) shared_->Detach();
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

private:
    SharedWork* shared_;
};

}  // namespace

UnsolvedSummary WriteRowsInOrder(int count, const Parallelism& parallelism,
                                 const WorkerFactory& factory, const RecordWrite& write,
                                 RunObserver& observer) {
    UnsolvedSummary unsolved;
    using Clock = std::chrono::steady_clock;
    RisingPositions positions(count);
    OrderedOutcomes outcomes(1);
    const Attachment attachment(parallelism.shared, positions, outcomes);
    const int workers = WorkerThreadCount(parallelism.threads, count);
    JunctionPool pool(positions, outcomes, workers, factory);
    observer.ServeEvents();
    auto last_served = Clock::now();
    for (int position = 1; position <= count;) {
        std::optional<JunctionOutcome> outcome = outcomes.TakeNext(kServeEventsInterval);
        if (outcome) {
            if (outcome->failure) {
                pool.Stop();
                try {
                    std::rethrow_exception(outcome->failure);
                } catch (const std::bad_alloc&) {
                    // Said with what the workers took, once they have ended.
                    pool.Join();
                    throw RunStopped(messages::OutOfMemory(workers, pool.Memory()));
                }
            }
            write(outcome->row);
            if (outcome->unsolved.count > 0) {
                if (unsolved.trials == 0) unsolved.first_code = outcome->unsolved.first_code;
                unsolved.trials += outcome->unsolved.count;
                unsolved.positions.push_back(position);
            }
            observer.SetProgressValue(position);
            ++position;
        }
        if (!outcome || Clock::now() - last_served >= kServeEventsInterval) {
            observer.ServeEvents();
            last_served = Clock::now();
        }
    }
    return unsolved;
}

WorkerFactory SelectedRows(WorkerFactory factory, std::vector<int> positions) {
    auto shared = std::make_shared<const std::vector<int>>(std::move(positions));
    return [factory = std::move(factory), shared](const std::atomic<bool>* stop) {
        return std::make_unique<SelectedRowWorker>(factory(stop), shared);
    };
}

WorkerFactory StatelessWorkers(RowFunction row) {
    return [row = std::move(row)](const std::atomic<bool>* stop) {
        return std::make_unique<StatelessWorker>(row, stop);
    };
}

}  // namespace hydrosk::analysis
