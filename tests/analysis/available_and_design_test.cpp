// The available-flow search and the design-flow check through whole runs on line.inp, whose
// pressures the tests get from the toolkit beforehand. Their agreement with EPANET 2.2 on the
// shared networks is checked in fireflow_oracle_test.cpp.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "files/number_text.h"

namespace hydrosk::analysis::testing {
namespace {

// line.inp: R1 (head 200 ft) - J1 (50 ft) - J2 (60 ft) - J3 (80 ft), no demands. Static
// pressures 65.0, 60.7 and 52.0 psi.
constexpr int kJ1 = 1;
constexpr int kJ2 = 2;
constexpr int kJ3 = 3;

class AvailableAndDesignTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        line_ = CopyNetwork("line.inp");
    }

    RunResult Run(RunMode mode, const std::string& min_pressure,
                  const std::string& tolerance = "") {
        RunSettings inputs = Settings(line_);
        inputs.minimal_pressure = Number(min_pressure);
        if (mode == RunMode::Design) {
            inputs.mode = DesignFlowRun{300};
        } else {
            AvailableFlowRun available;
            if (!tolerance.empty()) available.tolerance = Number(tolerance);
            inputs.mode = available;
        }
        return RunFireFlow(inputs, observer_);
    }

    std::vector<std::string> Rows() const { return Lines(line_.string() + ".TXT"); }

    std::filesystem::path line_;
    RecordingObserver observer_;
};

TEST_F(AvailableAndDesignTest, AvailableFlowPassesAndTheFlowAToleranceAboveFails) {
    for (const auto& [tolerance, step] : {std::pair{"", 1.0}, std::pair{"0.1", 0.0625}}) {
        ASSERT_EQ(Run(RunMode::Available, "45", tolerance).status, RunStatus::Completed);
        const auto rows = Rows();
        ASSERT_EQ(rows.size(), 4U);
        EXPECT_EQ(rows[0], R"("Check_Node","Available_Flow","Limiting_Node","Limiting_Pressure",)"
                           R"("Check_Pressure")");
        // J3 is the highest junction, so it limits its own flow.
        const std::string prefix = "\"J3\",";
        ASSERT_TRUE(rows[3].starts_with(prefix)) << rows[3];
        const double flow = std::stod(rows[3].substr(prefix.size()));
        EXPECT_EQ(std::fmod(flow, step), 0.0) << rows[3];
        const double above = flow + (tolerance[0] == '\0' ? 1.0 : static_cast<double>(0.1F));
        const float at_flow = SteadyPressure(line_, kJ3, flow, kJ3);
        const float at_above = SteadyPressure(line_, kJ3, above, kJ3);
        EXPECT_GE(at_flow, 45.0F);
        EXPECT_LT(at_above, 45.0F);
        EXPECT_EQ(rows[3], prefix + files::FormatDouble(flow) + ",\"J3\"," +
                               files::FormatSingle(at_above) + "," + files::FormatSingle(at_flow));
    }
}

TEST_F(AvailableAndDesignTest, AvailableFlowAtTheEndsOfTheRange) {
    // J2 and J3 fail at no flow at all: the row holds 0 and the pressures there.
    ASSERT_EQ(Run(RunMode::Available, "62").status, RunStatus::Completed);
    const float j1 = SteadyPressure(line_, kJ1, 0, kJ1);
    const float j2 = SteadyPressure(line_, kJ1, 0, kJ2);
    EXPECT_EQ(Rows()[1],
              "\"J1\",0,\"J2\"," + files::FormatSingle(j2) + "," + files::FormatSingle(j1));

    WriteNoCheck("\"J1\"\r\n\"J2\"\r\n\"J3\"\r\n");
    ASSERT_EQ(Run(RunMode::Available, "1000").status, RunStatus::Completed);
    EXPECT_EQ(Rows()[3], R"("J3","Maximal flow was reached")");
}

TEST_F(AvailableAndDesignTest, ToleranceAndMaximalFlowThatCannotServeAreRefused) {
    struct Case {
        const char* tolerance;
        const char* maximal_flow;
        std::string_view message;
    };
    for (const Case& c : {Case{"0", "1000", messages::kTolerancePositive},
                          Case{"-2", "1000", messages::kTolerancePositive},
                          Case{"1E-9", "1000", messages::kToleranceTooSmall},
                          // The default tolerance, a thousandth of it: the maximal flow is named.
                          Case{"", "1E30", messages::kMaximalFlowTooLarge},
                          Case{"", "-10", messages::kMaximalFlowNotNegative}}) {
        RunSettings inputs = Settings(line_);
        AvailableFlowRun available{Number(c.maximal_flow)};
        if (*c.tolerance != 0) available.tolerance = Number(c.tolerance);
        inputs.mode = available;
        const RunResult result = RunFireFlow(inputs, observer_);
        EXPECT_EQ(result.status, RunStatus::Refused) << c.tolerance;
        EXPECT_EQ(result.message, c.message) << c.tolerance;
        EXPECT_FALSE(std::filesystem::exists(inputs.output_file));
    }
}

TEST_F(AvailableAndDesignTest, DesignFlowNamesTheSmallestMarginAndTheResult) {
    ASSERT_EQ(Run(RunMode::Design, "40").status, RunStatus::Completed);
    const float own = SteadyPressure(line_, kJ3, 300, kJ3);
    const auto pass_or_fail = [](float p) { return p < 40 ? "\"Fail\"" : "\"Pass\""; };
    EXPECT_EQ(Rows()[0],
              R"("Check_Node","Fire_Flow","Check_Pressure","Lowest_Node","Lowest_Pressure",)"
              R"("Result")");
    EXPECT_EQ(Rows()[3], "\"J3\",300," + files::FormatSingle(own) + ",\"J3\"," +
                             files::FormatSingle(own) + "," + pass_or_fail(own));

    // A minimum of its own gives J1, the junction of the highest pressure, the smallest margin.
    WriteMinPressures("\"J1\",100\r\n");
    ASSERT_EQ(Run(RunMode::Design, "40").status, RunStatus::Completed);
    const float j1 = SteadyPressure(line_, kJ3, 300, kJ1);
    EXPECT_EQ(Rows()[3], "\"J3\",300," + files::FormatSingle(own) + ",\"J1\"," +
                             files::FormatSingle(j1) + ",\"Fail\"");

    WriteNoCheck("\"J1\"\r\n\"J2\"\r\n\"J3\"\r\n");
    ASSERT_EQ(Run(RunMode::Design, "1000").status, RunStatus::Completed);
    EXPECT_EQ(Rows()[3], "\"J3\",300," + files::FormatSingle(own) + ",\"\",\"\",\"Pass\"");
}

}  // namespace
}  // namespace hydrosk::analysis::testing
