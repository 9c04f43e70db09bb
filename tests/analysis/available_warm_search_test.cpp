// The available flow's search on the hydrant curve from warm starts gives the rows of the
// bisection with every trial cold, on the shared networks of duration 0 and steady copies of
// others with pumps, tanks, valves and controls, except where the pressures rise again with the
// flow; the same results file whatever the lane count; and in fewer iterations.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "analysis_test_support.h"

namespace hydrosk::analysis::testing {
namespace {

struct WarmCase {
    const char* name;
    const char* network;  // a shared network
    bool steady_copy;     // the copy's duration set to 0
    const char* no_check;
    const char* min_pressure;
    const char* max_flow;
    const char* tolerance;  // empty: the default, a thousandth of the maximal flow
    int differing = 0;      // rows where the pressures rise again with the flow
};

void PrintTo(const WarmCase& c, std::ostream* os) {
    *os << c.name;
}

// The rows of `warm` are those of `cold`, or else certify a flow above the one `cold` certifies
// a failure a tolerance above (so that the pressures rise again there with the flow): the only
// rows the definition lets differ. Gives the number of such rows.
int ExpectSameRowsWhereMonotone(const std::string& cold, const std::string& warm,
                                double tolerance) {
    std::istringstream cold_lines(cold);
    std::istringstream warm_lines(warm);
    std::string cold_line;
    std::string warm_line;
    int differing = 0;
    while (std::getline(cold_lines, cold_line)) {
        EXPECT_TRUE(std::getline(warm_lines, warm_line)) << cold_line;
        if (warm_line == cold_line) continue;
        ++differing;
        const auto flow = [](const std::string& line) {
            const auto comma = line.find(',');
            const auto next = line.find(',', comma + 1);
            return Number(line.substr(comma + 1, next - comma - 1));
        };
        EXPECT_GT(flow(warm_line), flow(cold_line) + tolerance) << cold_line << " | " << warm_line;
    }
    EXPECT_FALSE(std::getline(warm_lines, warm_line)) << warm_line;
    return differing;
}

class AvailableWarmSearchTest : public RunTest, public ::testing::WithParamInterface<WarmCase> {
protected:
    struct Outcome {
        RunOutcome run;
        long iterations = 0;
    };

    Outcome Run(const WarmCase& c, const std::filesystem::path& inp, bool warm, int lanes,
                int threads = 0) {
        RunSettings inputs = Settings(inp);
        inputs.mode = ModeFromTexts(RunMode::Available, c.max_flow, "", "", "",
                                    SearchMethod::Linear, c.tolerance);
        std::get<AvailableFlowRun>(inputs.mode).warm_starts = warm;
        inputs.minimal_pressure = Number(c.min_pressure);
        inputs.parallelism.lanes = lanes;
        inputs.parallelism.threads = threads;
        RecordingObserver observer;
        const RunResult result = RunFireFlow(inputs, observer);
        return {{result.status, observer.Messages(), ReadBytes(inputs.output_file)},
                result.iterations};
    }
};

TEST_P(AvailableWarmSearchTest, RowsOfTheColdBisectionForEveryLaneCount) {
    const WarmCase& c = GetParam();
    const auto inp = SharedCopy(c.network, c.steady_copy, c.no_check);
    const Outcome cold = Run(c, inp, false, 1);
    ASSERT_EQ(cold.run.status, RunStatus::Completed);
    ASSERT_GT(cold.run.results.size(), 0U);
    const Outcome warm_one = Run(c, inp, true, 1);
    for (const int lanes : {1, 4, 8, 0}) {
        const Outcome warm = Run(c, inp, true, lanes);
        EXPECT_EQ(warm.run.status, cold.run.status) << lanes << " lanes";
        EXPECT_LE(ExpectSameRowsWhereMonotone(
                      cold.run.results, warm.run.results,
                      *c.tolerance ? Number(c.tolerance) : Number(c.max_flow) / 1000.0),
                  c.differing)
            << lanes << " lanes";
        if (lanes != 1) {
            EXPECT_EQ(warm.run.results, warm_one.run.results) << lanes << " lanes";
            EXPECT_EQ(warm.run.messages, warm_one.run.messages) << lanes << " lanes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, AvailableWarmSearchTest,
    ::testing::Values(WarmCase{"Ky10", "ky10", false, kKy10Low, "20", "1500", ""},
                      WarmCase{"Ky10ToleranceOfOneStep", "ky10", false, kKy10Low, "20", "1500", "1",
                               2},
                      WarmCase{"Ky10EveryJunctionTested", "ky10", false, "", "20", "1500", "7"},
                      WarmCase{"Awumah", "Awumah_layout1", false, "", "-5", "1000", "0.1"},
                      WarmCase{"Ccwi", "CCWI17-HermanMahmoud", false, "", "-5", "100000", ""},
                      WarmCase{"Todini", "Todini_Fig2_solA_CMH", false, "", "30", "1000", ""},
                      WarmCase{"Net1", "Net1", true, "", "20", "3000", ""},
                      WarmCase{"Net3", "Net3", true, "", "20", "3000", "2"},
                      WarmCase{"Net3LargeFlows", "Net3", true,
                               "\"10\"\r\n\"20\"\r\n\"40\"\r\n\"50\"\r\n", "20", "1e8", ""},
                      WarmCase{"Anytown", "Anytown", true, "", "20", "5000", ""},
                      // The first time step of extended-period simulations: the cold trials side by
                      // side on the network made steady.
                      WarmCase{"Net1FirstStep", "Net1", false, "", "20", "3000", ""},
                      WarmCase{"AnytownFirstStep", "Anytown", false, "", "20", "5000", ""},
                      WarmCase{"Prv", "prv_open_no_upstream_sources", true, "", "0", "1000", ""},
                      WarmCase{"Fcv", "fcv_open_no_downstream_sources", true, "", "0", "1000", ""},
                      WarmCase{"TankControls", "tank_controls_1", true, "", "0", "1000", ""},
                      WarmCase{"ControlComb", "control_comb", true, "", "0", "1000", ""}),
    [](const ::testing::TestParamInfo<WarmCase>& info) { return std::string(info.param.name); });

// The search on the hydrant curve needs at most 0.4 of the bisection's iterations on ky10,
// with the same rows.
TEST_F(AvailableWarmSearchTest, FewerIterationsOnKy10) {
    const auto inp = SharedCopy("ky10", false, kKy10Low);
    const WarmCase c{"Ky10", "ky10", false, kKy10Low, "20", "1500", ""};
    const Outcome cold = Run(c, inp, false, 1);
    const Outcome warm = Run(c, inp, true, 0);
    EXPECT_EQ(ExpectSameRowsWhereMonotone(cold.run.results, warm.run.results, 1.5), 0);
    EXPECT_LE(warm.iterations * 5, cold.iterations * 2)
        << warm.iterations << " iterations against " << cold.iterations;
}

// Junctions that try the maximal flow warm first (reached through narrow links, or near their
// minimum without any fire flow), passing there or failing, and one that tries it cold first
// and fails: the cold bisection's rows, one junction at a time and several side by side, on
// one thread and on two.
TEST_F(AvailableWarmSearchTest, WarmTrialAtTheMaximalFlowFirst) {
    const auto inp = CopyNetwork("narrow_links.inp");
    const WarmCase c{"NarrowLinks", "", true, "", "30", "1000", ""};
    const Outcome cold = Run(c, inp, false, 1, 1);
    ASSERT_EQ(cold.run.status, RunStatus::Completed);
    const auto lines = Lines(inp.string() + ".TXT");
    ASSERT_EQ(lines.size(), 6U);
    EXPECT_EQ(lines[1], "\"J1\",\"Maximal flow was reached\"");
    EXPECT_EQ(lines[2].substr(0, 9), "\"J2\",526,");
    EXPECT_EQ(lines[4], "\"J4\",\"Maximal flow was reached\"");
    EXPECT_EQ(lines[5].substr(0, 9), "\"J5\",694,");
    for (const int threads : {1, 2}) {
        for (const int lanes : {1, 4, 8, 0}) {
            const Outcome warm = Run(c, inp, true, lanes, threads);
            EXPECT_EQ(warm.run.status, RunStatus::Completed);
            EXPECT_EQ(warm.run.results, cold.run.results) << threads << " threads, " << lanes;
            EXPECT_EQ(warm.run.messages, cold.run.messages) << threads << " threads, " << lanes;
        }
    }
}

}  // namespace
}  // namespace hydrosk::analysis::testing
