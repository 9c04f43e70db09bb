// The worker pool of the searches: junctions taken one at a time, outcomes handed out in
// position order whatever order the workers finish in, failures ending the run as if the
// junctions had run one after the other, and a prompt stop.
#include "analysis/junction_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace hydrosk::analysis {
namespace {

using namespace std::chrono_literals;

// A row is the position as text; `cost(position)` milliseconds of sleep make workers finish
// out of order, and `fails` names the positions that throw.
class SleepingWorker final : public JunctionWorker {
public:
    SleepingWorker(std::function<int(int)> cost, std::set<int> fails, std::vector<int>& taken,
                   std::mutex& mutex)
        : cost_(std::move(cost)), fails_(std::move(fails)), taken_(taken), mutex_(mutex) {}

    files::Record Row(int position) override {
        {
            const std::lock_guard lock(mutex_);
            taken_.push_back(position);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(cost_(position)));
        if (fails_.contains(position))
            throw std::runtime_error("failed at " + std::to_string(position));
        return {std::to_string(position)};
    }

private:
    std::function<int(int)> cost_;
    std::set<int> fails_;
    std::vector<int>& taken_;
    std::mutex& mutex_;
};

struct Drained {
    std::vector<std::string> rows;
    std::string failure;
};

// A pool over positions 1 to `count`, drained in order as the ordered writer does.
struct Pool {
    Pool(int count, int threads, WorkerFactory factory)
        : count(count), positions(count), pool(positions, outcomes, threads, std::move(factory)) {}
    int count;
    RisingPositions positions;
    OrderedOutcomes outcomes{1};
    JunctionPool pool;
};

Drained Drain(Pool& pool) {
    Drained drained;
    for (int position = 1; position <= pool.count;) {
        auto outcome = pool.outcomes.TakeNext(10ms);
        if (!outcome) continue;
        ++position;
        if (outcome->failure) {
            try {
                std::rethrow_exception(outcome->failure);
            } catch (const std::exception& error) {
                drained.failure = error.what();
            }
            break;
        }
        drained.rows.push_back(std::get<std::string>(outcome->row.at(0)));
    }
    return drained;
}

TEST(OrderedOutcomesTest, HandsOutInPositionOrderAndWaitsForTheNext) {
    OrderedOutcomes outcomes(1);
    outcomes.Put(2, {{std::string("b")}, nullptr, {}});
    EXPECT_FALSE(outcomes.TakeNext(1ms).has_value());  // 1 is not there yet
    outcomes.Put(1, {{std::string("a")}, nullptr, {}});
    EXPECT_EQ(std::get<std::string>(outcomes.TakeNext(1ms)->row.at(0)), "a");
    EXPECT_EQ(std::get<std::string>(outcomes.TakeNext(1ms)->row.at(0)), "b");
    EXPECT_FALSE(outcomes.TakeNext(1ms).has_value());
}

TEST(JunctionPoolTest, EveryJunctionOnceAndInOrderForAnyThreadCount) {
    for (const int threads : {1, 2, 3, 8}) {
        std::vector<int> taken;
        std::mutex mutex;
        // Early junctions are the slow ones, so later ones finish first.
        Pool pool(20, threads, [&](const std::atomic<bool>*) {
            return std::make_unique<SleepingWorker>([](int p) { return p < 5 ? 20 : 1; },
                                                    std::set<int>{}, taken, mutex);
        });
        const Drained drained = Drain(pool);
        ASSERT_EQ(drained.rows.size(), 20U) << threads << " threads";
        for (int p = 1; p <= 20; ++p) EXPECT_EQ(drained.rows[p - 1], std::to_string(p));
        EXPECT_TRUE(drained.failure.empty());
        const std::lock_guard lock(mutex);
        EXPECT_EQ(std::set<int>(taken.begin(), taken.end()).size(), taken.size());
    }
}

TEST(JunctionPoolTest, TheLowestFailureEndsTheRunAfterTheRowsBeforeIt) {
    for (const int threads : {1, 3, 8}) {
        std::vector<int> taken;
        std::mutex mutex;
        // 12 fails late (slow), 15 fails early: the run must still end at 12.
        Pool pool(30, threads, [&](const std::atomic<bool>*) {
            return std::make_unique<SleepingWorker>([](int p) { return p == 12 ? 60 : 2; },
                                                    std::set<int>{12, 15}, taken, mutex);
        });
        const Drained drained = Drain(pool);
        EXPECT_EQ(drained.rows.size(), 11U) << threads << " threads";
        EXPECT_EQ(drained.failure, "failed at 12");
    }
}

TEST(JunctionPoolTest, AFailedWorkerSetupEndsTheRunAtItsFirstJunction) {
    Pool pool(5, 1, [](const std::atomic<bool>*) -> std::unique_ptr<JunctionWorker> {
        throw std::runtime_error("no project");
    });
    const Drained drained = Drain(pool);
    EXPECT_TRUE(drained.rows.empty());
    EXPECT_EQ(drained.failure, "no project");
}

// A junction that would never end on its own: only the pool's stop ends it.
class EndlessWorker final : public JunctionWorker {
public:
    explicit EndlessWorker(const std::atomic<bool>* stop) : stop_(stop) {}
    files::Record Row(int) override {
        for (;;) {
            ThrowIfStopped(stop_);
            std::this_thread::sleep_for(1ms);
        }
    }

private:
    const std::atomic<bool>* stop_;
};

TEST(JunctionPoolTest, DestroyingThePoolAbandonsTheJunctionsUnderWay) {
    {
        Pool pool(100, 4, [](const std::atomic<bool>* stop) {
            return std::make_unique<EndlessWorker>(stop);
        });
        EXPECT_FALSE(pool.outcomes.TakeNext(20ms).has_value());
    }  // returns only once every worker has given up
    SUCCEED();
}

TEST(RisingPositionsTest, BlocksAndSinglePositionsShareOneRisingSequence) {
    RisingPositions positions(10);
    EXPECT_EQ(positions.Take(), 1);
    EXPECT_EQ(positions.TakeBlock(4), (std::pair<int, int>{2, 5}));
    positions.EndAt(7);  // a failure at 7: 8 to 10 are never handed out
    EXPECT_EQ(positions.TakeBlock(4), (std::pair<int, int>{6, 7}));
    EXPECT_FALSE(positions.Take().has_value());
    positions.EndAt(9);  // a later failure does not undo the earlier end
    const auto [first, last] = positions.TakeBlock(2);
    EXPECT_GT(first, last);
}

// The sanitizers' allocator keeps its own accounts, which the C library's figures leave out.
#if !defined(__SANITIZE_ADDRESS__)
// What the workers took of the heap: shared out evenly once all are set up, which an
// out-of-memory message then gives as each one's need.
TEST(JunctionPoolTest, MeasuresTheHeapEachWorkerTook) {
    constexpr std::size_t kHeld = 16 * 1024 * 1024;
    class HoldingWorker final : public JunctionWorker {
    public:
        // Long enough for every worker to be set up before the first one ends.
        files::Record Row(int position) override {
            std::this_thread::sleep_for(100ms);
            return {std::to_string(position + held_[0])};
        }

    private:
        std::vector<char> held_ = std::vector<char>(kHeld, 0);
    };
    Pool pool(6, 3, [](const std::atomic<bool>*) { return std::make_unique<HoldingWorker>(); });
    EXPECT_EQ(Drain(pool).rows.size(), 6U);
    pool.pool.Join();
    const messages::WorkerMemory memory = pool.pool.Memory();
    EXPECT_GE(memory.each, kHeld);
    EXPECT_LT(memory.each, kHeld + kHeld / 4);
    EXPECT_EQ(messages::OutOfMemory(3, memory),
              "out of memory with 3 worker threads, each of which needs about " +
                  std::to_string(memory.each / (1024 * 1024) + 1) +
                  " MB; each holds the network's hydraulics of its own, so fewer need less");
}
#endif

TEST(JunctionPoolTest, ThreadCountDefaultsToTheHardware) {
    EXPECT_EQ(WorkerThreadCount(3), 3);
    EXPECT_GE(WorkerThreadCount(0), 1);
}

}  // namespace
}  // namespace hydrosk::analysis
