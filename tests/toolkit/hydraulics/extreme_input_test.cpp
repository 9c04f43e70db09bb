// Input at the edges, where EPANET 2.2 reads outside its arrays or divides by zero: the same
// answer as EPANET where it has a defined one (values from its WebAssembly build), a defined
// one otherwise, and never undefined behaviour (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "toolkit/codes.h"
#include "toolkit/input/reader.h"
#include "toolkit/project.h"

namespace hydrosk::toolkit {
namespace {

namespace fs = std::filesystem;

std::string Net1() {
    std::ifstream in(fs::path(HYDROSK_SHARED_NETWORKS) / "Net1.inp", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Net1 with one line of [TIMES] replaced by `line`.
std::string Net1With(const std::string& key, const std::string& line) {
    std::string text = Net1();
    const auto at = text.find(key);
    text.replace(at, text.find('\n', at) - at, line);
    return text;
}

struct Step {
    long time = 0;
    long next = 0;
    std::vector<double> pressures;
};

// The first `count` hydraulic steps of the INP text, which must read without error.
std::vector<Step> FirstSteps(const std::string& text, int count) {
    InputResult input = read_inp_text(text);
    EXPECT_EQ(input.code, 0);
    if (!input.network) return {};
    Project project;
    EXPECT_EQ(project.open(std::shared_ptr<const Network>(std::move(input.network))), 0);
    EXPECT_EQ(project.open_h(), 0);
    EXPECT_EQ(project.init_h(EN_NOSAVE), 0);
    std::vector<Step> steps;
    for (int k = 0; k < count; ++k) {
        Step step;
        EXPECT_LE(project.run_h(step.time), 6);
        int nodes = 0;
        EXPECT_EQ(project.get_count(EN_NODECOUNT, nodes), 0);
        for (int i = 1; i <= nodes; ++i) {
            double p = 0.0;
            EXPECT_EQ(project.get_node_value(i, EN_PRESSURE, p), 0);
            step.pressures.push_back(p);
        }
        EXPECT_EQ(project.next_h(step.next), 0);
        steps.push_back(step);
        if (step.next <= 0) break;
    }
    return steps;
}

class Net1Edges : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(fs::path(HYDROSK_SHARED_NETWORKS) / "Net1.inp")) {
            GTEST_SKIP() << "no shared networks folder";
        }
    }
};

TEST_F(Net1Edges, TimesBeyondA32BitLongSaturateAsInEpanet) {
    // EPANET keeps seconds in a 32-bit long: 1e308 hours become 2147483647 s.
    auto steps = FirstSteps(Net1With("Pattern Start", " Pattern Start 1e308"), 1);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_NEAR(steps[0].pressures[0], 127.1687646, 1e-6);  // node 10, pattern period 1
    steps = FirstSteps(Net1With("Report Timestep", " Report Timestep 1e308"), 3);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_NEAR(steps[0].pressures[0], 127.5407249, 1e-6);
    EXPECT_EQ(steps[1].time, 3600);
    EXPECT_EQ(steps[1].next, 3600);
}

TEST_F(Net1Edges, TrialCountsBeyondTheRangeOfIntWrapAsInEpanet) {
    // 1e10 trials saturate to 2147483647; with Net1's 10 extra trials EPANET's sum wraps below
    // zero, and it makes no trial at all.
    const auto steps = FirstSteps(Net1With(" Trials", " Trials 1e10"), 1);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_NEAR(steps[0].pressures[0], -307.643, 1e-6);
}

TEST_F(Net1Edges, APatternStartFarBeforeZeroRepeatsThePatternBackwards) {
    // EPANET's period is negative here and it reads before the pattern.
    for (const char* start : {" Pattern Start -1e308", " Pattern Start -5"}) {
        const auto steps = FirstSteps(Net1With("Pattern Start", start), 4);
        ASSERT_EQ(steps.size(), 4u) << start;
        for (const Step& step : steps) {
            for (const double p : step.pressures) EXPECT_TRUE(std::isfinite(p)) << start;
        }
    }
}

TEST_F(Net1Edges, RulesWithAHydraulicStepBelowTenSecondsStepEverySecond) {
    // EPANET's rule step is then 0 s, and it divides by it.
    std::string text = Net1With("Hydraulic Timestep", " Hydraulic Timestep 0:00:05");
    text = text.substr(0, text.find(" Duration")) + " Duration 0:01" +
           text.substr(text.find('\n', text.find(" Duration")));
    text.replace(text.find("[RULES]"), 7,
                 "[RULES]\nRULE 1\nIF TANK 2 LEVEL ABOVE 200\nTHEN PUMP 9 STATUS IS CLOSED\n");
    const auto steps = FirstSteps(text, 20);
    ASSERT_EQ(steps.size(), 13u);
    EXPECT_EQ(steps[12].time, 60);
}

TEST(GpvEdges, AOnePointHeadLossCurveIsTheLineThroughTheOrigin) {
    // EPANET 2.2's pressures at J1 and J2 (psi): 4 ft lost at 20 gpm, 16 ft at 80 gpm.
    const struct {
        const char* demand;
        double j1, j2;
    } cases[] = {{"20", 43.32872584, 41.59552584}, {"80", 43.31339498, 36.38059498}};
    for (const auto& c : cases) {
        const std::string text = std::string("[JUNCTIONS]\n J1 0 0\n J2 0 ") + c.demand +
                                 "\n[RESERVOIRS]\n R 100\n[PIPES]\n P1 R J1 1000 12 100\n"
                                 "[VALVES]\n V1 J1 J2 12 GPV C1 0\n[CURVES]\n C1 50 10\n"
                                 "[OPTIONS]\n Units GPM\n[END]\n";
        const auto steps = FirstSteps(text, 1);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_NEAR(steps[0].pressures[0], c.j1, 1e-6) << c.demand;
        EXPECT_NEAR(steps[0].pressures[1], c.j2, 1e-6) << c.demand;
    }
}

}  // namespace
}  // namespace hydrosk::toolkit
