// A fire-flow run on the processes of an MPI job (`mpirun -np N hydrosk-mpi fireflow ...`, or
// `srun` under Slurm). Every rank parses the INP file itself and prepares the same run. Rank 0
// runs it as one process would, with its own worker threads, and hands the other ranks blocks
// of junctions as they ask for work; their rows come back to it, and it alone writes the
// results file and shows progress and messages. The results file is the one process's, byte
// for byte.
//
// Messages (tags below) between rank 0 and a rank r > 0:
//   r -> 0  Request(int wanted)   r has room for `wanted` more junctions
//   0 -> r  Block(int first, int last)   positions first..last; first > last: none are left
//   r -> 0  Outcome(bytes)        one junction's row or failure (cluster/outcome_codec.h)
//   0 -> r  Stop                  the run is over on rank 0, whatever its end
//   r -> 0  Done                  r has stopped and sends nothing more
// A rank that dies ends the whole job through mpirun, with a status that is not zero.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/junction_pool.h"
#include "analysis/run_settings.h"
#include "cluster/job_inputs.h"
#include "cluster/launcher.h"

namespace hydrosk::cluster {

// MPI initialised for the lifetime of the object, with calls from one thread at a time.
class MpiJob {
public:
    MpiJob();
    ~MpiJob();
    MpiJob(const MpiJob&) = delete;
    MpiJob& operator=(const MpiJob&) = delete;

    int rank() const { return rank_; }
    int size() const { return size_; }

private:
    int rank_ = 0;
    int size_ = 1;
};

// Before the first junction: rank 0 sends its inputs (the options, hashes of the INP file and
// of the constraint files) to every rank, each rank compares them with its own, and rank 0
// gathers what differs. Gives the message that refuses the job, naming each rank that differs
// with its host and paths, on rank 0 (on the others a non-empty text); empty when every rank
// agrees. Every rank of the job must call it.
std::string CheckJobInputs(const MpiJob& job, const JobInputs& mine);

// Rank 0's side of the job: shares the attached search with the other ranks from a thread of
// its own, and on destruction stops every rank and waits until each is done, so that no rank
// is left waiting whatever way the run ended.
class Coordinator final : public analysis::SharedWork {
public:
    explicit Coordinator(const MpiJob& job);
    ~Coordinator() override;
    Coordinator(const Coordinator&) = delete;
    Coordinator& operator=(const Coordinator&) = delete;

    void Attach(analysis::RisingPositions& positions, analysis::OutcomeSink& outcomes) override;
    void Detach() override;

private:
    void Serve();
    void ServeUntilEveryRankIsDone();
    void AnswerRequests();

    const int ranks_;
    std::mutex mutex_;  // guards the attachment against the serving thread
    analysis::RisingPositions* positions_ = nullptr;
    analysis::OutcomeSink* outcomes_ = nullptr;
    struct Request {
        int rank;
        int wanted;
    };
    std::deque<Request> requests_;  // waiting for a search to be attached
    std::atomic<bool> closing_{false};
    std::thread server_;
};

// A rank r > 0: prepares the run of `settings` without a word, then computes the junctions rank
// 0 hands it on `threads` worker threads (0: every hardware thread) until rank 0 says stop.
// A run that this rank cannot prepare fails each junction it is given with the reason.
// Returns the process's exit status (0).
int ServeAsWorkerRank(const MpiJob& job, const analysis::RunSettings& settings, int threads);

}  // namespace hydrosk::cluster
