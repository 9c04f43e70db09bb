// Every kind of results file written by a whole run of its mode and read back by the results
// reader: the heading is the kind's, every junction has its row, and the outcomes are the ones
// the rows' texts stand for.
#include <gtest/gtest.h>

#include "analysis_test_support.h"
#include "files/results_file.h"
#include "files/results_schema.h"

namespace hydrosk::analysis::testing {
namespace {

struct ModeCase {
    const char* name;
    const char* network;
    float min_pressure;
    ModeSettings mode;
    files::ResultsKind kind;
    std::vector<files::Outcome> outcomes;  // of J1, J2, J3 (falling_head.inp: J1, J2)
    bool study_layout = false;             // the kind's layout with empty fields
};

class ResultsSchemaTest : public RunTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ResultsSchemaTest, WrittenByTheRunReadsBackAsItsKind) {
    const ModeCase& c = GetParam();
    RunSettings inputs = Settings(CopyNetwork(c.network));
    inputs.minimal_pressure = c.min_pressure;
    inputs.mode = c.mode;
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);
    ASSERT_EQ(result.status, RunStatus::Completed) << result.message;

    const files::ResultsTable table = files::ReadResultsFile(inputs.output_file);
    EXPECT_EQ(table.kind, c.kind);
    EXPECT_EQ(table.empty_fields, c.study_layout);
    EXPECT_EQ(Lines(inputs.output_file).front() + "\r\n",
              files::FormatRecord(files::HeaderRecord(c.kind, c.study_layout)));
    ASSERT_EQ(table.rows.size(), c.outcomes.size());
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        EXPECT_EQ(table.rows[i].check_id(), "J" + std::to_string(i + 1));
        EXPECT_EQ(table.rows[i].outcome, c.outcomes[i]) << "row " << i;
        EXPECT_EQ(
            table.Answer(table.rows[i]).has_value(),
            c.outcomes[i] == files::Outcome::Failed || c.kind == files::ResultsKind::DesignFlow)
            << "row " << i;
    }
}

using files::Outcome;
using files::ResultsKind;

// A study's fire of 3 h from the start of the simulation.
StudyOptions ThreeHourFire() {
    StudyOptions study;
    study.fire.fire_duration = 3;
    return study;
}

// line.inp: static pressures 65.0, 60.7 and 52.0 psi; a flow of 1 GPM costs next to nothing,
// 3000 GPM takes some junction below 40 psi wherever it is drawn. falling_head.inp: 43.33 psi
// until 2 h, 21.67 psi after; a study's fire of 3 h from the start meets both.
INSTANTIATE_TEST_SUITE_P(
    Modes, ResultsSchemaTest,
    ::testing::Values(ModeCase{"steady",
                               "line.inp",
                               40,
                               SteadyRun{3000, 100},
                               ResultsKind::SteadyState,
                               {Outcome::Failed, Outcome::Failed, Outcome::Failed}},
                      ModeCase{"steady_reached",
                               "line.inp",
                               40,
                               SteadyRun{1, 1},
                               ResultsKind::SteadyState,
                               {Outcome::MaximalFlowReached, Outcome::MaximalFlowReached,
                                Outcome::MaximalFlowReached}},
                      ModeCase{"available",
                               "line.inp",
                               40,
                               AvailableFlowRun{3000},
                               ResultsKind::AvailableFlow,
                               {Outcome::Failed, Outcome::Failed, Outcome::Failed}},
                      ModeCase{"available_reached",
                               "line.inp",
                               40,
                               AvailableFlowRun{1},
                               ResultsKind::AvailableFlow,
                               {Outcome::MaximalFlowReached, Outcome::MaximalFlowReached,
                                Outcome::MaximalFlowReached}},
                      ModeCase{"design",
                               "line.inp",
                               40,
                               DesignFlowRun{1},
                               ResultsKind::DesignFlow,
                               {Outcome::Passed, Outcome::Passed, Outcome::Passed}},
                      ModeCase{"design_failing",
                               "line.inp",
                               40,
                               DesignFlowRun{3000},
                               ResultsKind::DesignFlow,
                               {Outcome::Failed, Outcome::Failed, Outcome::Failed}},
                      ModeCase{"duration",
                               "falling_head.inp",
                               30,
                               DurationRun{10},
                               ResultsKind::Duration,
                               {Outcome::Failed, Outcome::Failed}},
                      ModeCase{"duration_reached",
                               "falling_head.inp",
                               20,
                               DurationRun{10},
                               ResultsKind::Duration,
                               {Outcome::EndOfSimulationReached, Outcome::EndOfSimulationReached}},
                      ModeCase{"flow",
                               "falling_head.inp",
                               30,
                               FlowRun{3, 20, 10},
                               ResultsKind::Flow,
                               {Outcome::Failed, Outcome::Failed}},
                      ModeCase{"flow_reached",
                               "falling_head.inp",
                               30,
                               FlowRun{1, 20, 10},
                               ResultsKind::Flow,
                               {Outcome::MaximalFlowReached, Outcome::MaximalFlowReached}},
                      ModeCase{"available_study",
                               "falling_head.inp",
                               20,
                               AvailableFlowRun{1, std::nullopt, ThreeHourFire()},
                               ResultsKind::AvailableFlow,
                               {Outcome::MaximalFlowReached, Outcome::MaximalFlowReached},
                               true},
                      ModeCase{"design_study",
                               "falling_head.inp",
                               30,
                               DesignFlowRun{1, ThreeHourFire()},
                               ResultsKind::DesignFlow,
                               {Outcome::Failed, Outcome::Failed},
                               true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hydrosk::analysis::testing
