#include "cluster/mpi_job.h"

#include <mpi.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "analysis/fire_flow_run.h"
#include "analysis/run_messages.h"
#include "cluster/outcome_codec.h"

namespace hydrosk::cluster {
namespace {

enum Tag : int { kRequest = 1, kBlock = 2, kOutcome = 3, kStop = 4, kDone = 5 };

// Between two looks at the mailbox when nothing came: short against a junction's seconds.
constexpr auto kIdle = std::chrono::microseconds(200);

std::optional<MPI_Status> Probe(int source) {
    int arrived = 0;
    MPI_Status status;
    MPI_Iprobe(source, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &status);
    if (arrived == 0) return std::nullopt;
    return status;
}

std::string ReceiveBytes(const MPI_Status& status) {
    int size = 0;
    MPI_Get_count(&status, MPI_BYTE, &size);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    MPI_Recv(bytes.data(), size, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
             MPI_STATUS_IGNORE);
    return bytes;
}

void SendInts(std::vector<int> values, int destination, int tag) {
    MPI_Send(values.data(), static_cast<int>(values.size()), MPI_INT, destination, tag,
             MPI_COMM_WORLD);
}

// Junctions handed to this rank in blocks by rank 0; Take waits for the next block.
class RemotePositions final : public analysis::PositionSource {
public:
    std::optional<int> Take() override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !queued_.empty() || finished_; });
        if (queued_.empty()) return std::nullopt;
        const int position = queued_.front();
        queued_.pop_front();
        return position;
    }

    void EndAt(int position) override {
        const std::lock_guard lock(mutex_);
        while (!queued_.empty() && queued_.back() > position) queued_.pop_back();
    }

    // How many more positions this rank wants now (0 when a request is out or none are left).
    int Wanted(int threads) {
        const std::lock_guard lock(mutex_);
        if (requested_ || finished_) return 0;
        const int room = 2 * threads - static_cast<int>(queued_.size());
        if (queued_.size() >= static_cast<std::size_t>(threads)) return 0;
        requested_ = true;
        return room;
    }

    void Received(int first, int last) {
        {
            const std::lock_guard lock(mutex_);
            requested_ = false;
            if (first > last) finished_ = true;
            for (int p = first; p <= last; ++p) queued_.push_back(p);
        }
        changed_.notify_all();
    }

    void Finish() {
        {
            const std::lock_guard lock(mutex_);
            finished_ = true;
            queued_.clear();
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> queued_;
    bool requested_ = false;
    bool finished_ = false;
};

// Outcomes of this rank, encoded and queued for the thread that talks to rank 0.
class OutgoingOutcomes final : public analysis::OutcomeSink {
public:
    void Put(int position, analysis::JunctionOutcome outcome) override {
        std::string bytes = EncodeOutcome(position, outcome);
        const std::lock_guard lock(mutex_);
        queued_.push_back(std::move(bytes));
    }

    std::deque<std::string> TakeAll() {
        const std::lock_guard lock(mutex_);
        return std::exchange(queued_, {});
    }

private:
    std::mutex mutex_;
    std::deque<std::string> queued_;
};

// A worker factory for a rank that could not prepare the run: every junction it is given
// fails with the reason.
analysis::WorkerFactory FailingWorkers(std::exception_ptr reason) {
    return [reason](const std::atomic<bool>*) -> std::unique_ptr<analysis::JunctionWorker> {
        std::rethrow_exception(reason);
    };
}

}  // namespace

MpiJob::MpiJob() {
    int provided = 0;
    MPI_Init_thread(nullptr, nullptr, MPI_THREAD_SERIALIZED, &provided);
    if (provided < MPI_THREAD_SERIALIZED) {
        MPI_Finalize();
        throw std::runtime_error("the MPI library cannot be called from more than one thread");
    }
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

MpiJob::~MpiJob() {
    MPI_Finalize();
}

namespace {

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "an unknown host";
    return name;
}

// `bytes` of rank 0 to every rank.
std::string BroadcastFromRank0(const MpiJob& job, std::string bytes) {
    int size = job.rank() == 0 ? static_cast<int>(bytes.size()) : 0;
    MPI_Bcast(&size, 1, MPI_INT, 0, MPI_COMM_WORLD);
    bytes.resize(static_cast<std::size_t>(size));
    MPI_Bcast(bytes.data(), size, MPI_BYTE, 0, MPI_COMM_WORLD);
    return bytes;
}

}  // namespace

std::string CheckJobInputs(const MpiJob& job, const JobInputs& mine) {
    const std::string rank0 = BroadcastFromRank0(job, EncodeJobInputs(mine));
    std::string difference;
    if (job.rank() > 0) {
        try {
            difference = JobInputsDifference(DecodeJobInputs(rank0), mine, job.rank(), HostName());
        } catch (const std::exception& error) {
            difference = "rank " + std::to_string(job.rank()) + " on " + HostName() +
                         ": the inputs of rank 0 could not be read (" + error.what() + ")";
        }
    }
    int size = static_cast<int>(difference.size());
    std::vector<int> sizes(static_cast<std::size_t>(job.rank() == 0 ? job.size() : 0));
    MPI_Gather(&size, 1, MPI_INT, sizes.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
    std::vector<int> offsets(sizes.size(), 0);
    int total = 0;
    for (std::size_t r = 0; r < sizes.size(); ++r) {
        offsets[r] = total;
        total += sizes[r];
    }
    std::string all(static_cast<std::size_t>(total), '\0');
    MPI_Gatherv(difference.data(), size, MPI_BYTE, all.data(), sizes.data(), offsets.data(),
                MPI_BYTE, 0, MPI_COMM_WORLD);
    std::string message;
    if (job.rank() == 0) {
        std::vector<std::string> differences;
        for (std::size_t r = 0; r < sizes.size(); ++r) {
            if (sizes[r] > 0) {
                differences.push_back(all.substr(static_cast<std::size_t>(offsets[r]),
                                                 static_cast<std::size_t>(sizes[r])));
            }
        }
        if (!differences.empty()) message = RanksDisagree(differences);
    }
    const std::string verdict = BroadcastFromRank0(job, message.empty() ? "" : "refused");
    if (job.rank() == 0) return message;
    return verdict;
}

Coordinator::Coordinator(const MpiJob& job) : ranks_(job.size()) {
    server_ = std::thread([this] { Serve(); });
}

Coordinator::~Coordinator() {
    closing_.store(true);
    server_.join();
}

void Coordinator::Attach(analysis::RisingPositions& positions, analysis::OutcomeSink& outcomes) {
    const std::lock_guard lock(mutex_);
    positions_ = &positions;
    outcomes_ = &outcomes;
}

void Coordinator::Detach() {
    const std::lock_guard lock(mutex_);
    positions_ = nullptr;
    outcomes_ = nullptr;
}

void Coordinator::AnswerRequests() {
    const std::lock_guard lock(mutex_);
    if (positions_ == nullptr) return;  // no search yet: the requests wait
    for (const Request& request : requests_) {
        const auto [first, last] = positions_->TakeBlock(request.wanted);
        SendInts({first, last}, request.rank, kBlock);
    }
    requests_.clear();
}

void Coordinator::Serve() {
    // Ctrl+C and SIGTERM are rank 0's run's to take (the command line's interrupt watch).
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    try {
        ServeUntilEveryRankIsDone();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rank 0 lost track of the other ranks: %s\n", error.what());
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
}

void Coordinator::ServeUntilEveryRankIsDone() {
    bool stop_sent = false;
    int done = 0;
    while (done < ranks_ - 1) {
        if (closing_.load() && !stop_sent) {
            for (int rank = 1; rank < ranks_; ++rank) SendInts({}, rank, kStop);
            stop_sent = true;
        }
        if (!stop_sent) AnswerRequests();
        const auto status = Probe(MPI_ANY_SOURCE);
        if (!status) {
            std::this_thread::sleep_for(kIdle);
            continue;
        }
        if (status->MPI_TAG == kRequest) {
            int wanted = 0;
            MPI_Recv(&wanted, 1, MPI_INT, status->MPI_SOURCE, kRequest, MPI_COMM_WORLD,
                     MPI_STATUS_IGNORE);
            // Answered while a search is attached; after the stop, requests need no answer.
            if (!stop_sent) requests_.push_back({status->MPI_SOURCE, std::max(wanted, 1)});
        } else if (status->MPI_TAG == kOutcome) {
            const std::string bytes = ReceiveBytes(*status);
            const std::lock_guard lock(mutex_);
            if (outcomes_ != nullptr) {
                auto [position, outcome] = DecodeOutcome(bytes);
                if (outcome.failure) positions_->EndAt(position);
                outcomes_->Put(position, std::move(outcome));
            }
        } else {
            ReceiveBytes(*status);  // Done (or anything else): nothing more from that rank
            if (status->MPI_TAG == kDone) ++done;
        }
    }
}

int ServeAsWorkerRank(const MpiJob& job, const analysis::RunSettings& job_settings, int threads) {
    // Only rank 0 writes files; the others keep no report of their own.
    analysis::RunSettings settings = job_settings;
    settings.report_file.clear();
    settings.report_required = false;
    settings.trial_report_file.clear();
    analysis::RunObserver silent;
    std::unique_ptr<analysis::PreparedSearch> search;
    analysis::WorkerFactory workers;
    int count = 1;
    try {
        search = analysis::PrepareSearch(settings, silent);
        workers = search->workers;
        count = search->rows;
    } catch (...) {
        // The job ends as a rank lost: rank 0 keeps the previous results, naming this rank.
        std::string reason = "unknown failure";
        try {
            throw;
        } catch (const std::bad_alloc&) {
            reason = analysis::messages::kOutOfMemory;
        } catch (const std::exception& error) {
            reason = error.what();
        } catch (...) {
        }
        std::error_code ignored;
        workers = FailingWorkers(std::make_exception_ptr(analysis::RunStopped(
            "rank " + std::to_string(job.rank()) + " on " + HostName() + " could not start on \"" +
            std::filesystem::absolute(settings.inp_file, ignored).string() + "\": " + reason)));
    }
    const int thread_count = analysis::WorkerThreadCount(threads, count);

    RemotePositions positions;
    OutgoingOutcomes outcomes;
    {
        analysis::JunctionPool pool(positions, outcomes, thread_count, workers);
        for (;;) {
            for (std::string& bytes : outcomes.TakeAll()) {
                MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, 0, kOutcome,
                         MPI_COMM_WORLD);
            }
            if (const int wanted = positions.Wanted(thread_count); wanted > 0) {
                SendInts({wanted}, 0, kRequest);
            }
            const auto status = Probe(0);
            if (!status) {
                std::this_thread::sleep_for(kIdle);
                continue;
            }
            if (status->MPI_TAG == kBlock) {
                int block[2] = {1, 0};
                MPI_Recv(block, 2, MPI_INT, 0, kBlock, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
                positions.Received(block[0], block[1]);
            } else {
                ReceiveBytes(*status);  // Stop
                break;
            }
        }
        pool.Stop();
        positions.Finish();
    }  // the workers have ended; what they put now goes nowhere
    SendInts({}, 0, kDone);
    return 0;
}

}  // namespace hydrosk::cluster
