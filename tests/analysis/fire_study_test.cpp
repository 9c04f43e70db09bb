// Fire-flow studies through whole runs on the example network: at a demand time and fire
// duration of 0 the files are today's whatever the INP's duration; the state saved before the
// fire gives what a replay of the simulation gives; the rows of a hydrants file are those of
// the full run in every mode; thread counts give the same files; and the study's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "analysis/fire_flow_run.h"
#include "analysis_test_support.h"
#include "files/constraint_files.h"
#include "network/net_load.h"
#include "toolkit/codes.h"

namespace hydrosk::analysis::testing {
namespace {

class FireStudyTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        const std::string text = ReadBytes(std::filesystem::path(HYDROSK_EXAMPLES) / "town.inp");
        town_ = dir() / "town.inp";
        WriteBytes(town_, text);  // a duration of 24 h
        town0_ = dir() / "town0.inp";
        WriteBytes(town0_, WithZeroDuration(text));
    }

    // The results file of a run, which must complete.
    std::string Run(RunSettings settings, std::vector<std::string>* messages = nullptr) {
        RecordingObserver observer;
        const RunResult result = RunFireFlow(settings, observer);
        EXPECT_EQ(result.status, RunStatus::Completed) << result.message;
        if (messages != nullptr) *messages = observer.Messages();
        return ReadBytes(settings.output_file);
    }

    RunSettings Available(const std::filesystem::path& inp, const StudyOptions& study = {}) {
        RunSettings settings = Settings(inp);
        settings.minimal_pressure = 20;
        settings.mode = AvailableFlowRun{3000, std::nullopt, study};
        return settings;
    }
    RunSettings Design(const std::filesystem::path& inp, const StudyOptions& study = {}) {
        RunSettings settings = Settings(inp);
        settings.minimal_pressure = 20;
        settings.mode = DesignFlowRun{1500, study};
        return settings;
    }

    std::filesystem::path town_;
    std::filesystem::path town0_;
};

StudyOptions Study(double hours, double duration, FireDemand demand,
                   std::optional<float> velocity) {
    StudyOptions study;
    study.fire = {hours, duration, demand, velocity};
    return study;
}

TEST_F(FireStudyTest, AtTimeZeroTheFilesAreTodaysWhateverTheDuration) {
    for (const bool design : {false, true}) {
        const auto run = [&](const std::filesystem::path& inp, const StudyOptions& study) {
            return Run(design ? Design(inp, study) : Available(inp, study));
        };
        const std::string today = run(town0_, {});
        ASSERT_TRUE(today.starts_with(design ? "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\""
                                             : "\"Check_Node\",\"Available_Flow\""));
        EXPECT_EQ(std::count(today.begin(), today.end(), '\n'), 25);
        EXPECT_EQ(run(town_, {}), today) << design;
        EXPECT_EQ(run(town_, Study(0, 0, FireDemand::Replace, std::nullopt)), today);
    }
}

// The simulation saved between two steps and given back goes on exactly as it went on, also
// with a demand changed after the return, as a replay from the start with that change gives.
TEST_F(FireStudyTest, TheSavedStateGivesTheReplay) {
    const auto pressures_from = [&](toolkit::Project& project, int check, double demand) {
        if (check != 0) {
            EXPECT_EQ(project.set_node_value(check, EN_PATTERN, 0.0), 0);
            EXPECT_EQ(project.set_node_value(check, EN_BASEDEMAND, demand), 0);
        }
        std::vector<double> values;
        for (;;) {
            long time = 0;
            EXPECT_LE(project.run_h(time), 6);
            values.push_back(static_cast<double>(time));
            int nodes = 0;
            EXPECT_EQ(project.get_count(EN_NODECOUNT, nodes), 0);
            for (int k = 1; k <= nodes; ++k) {
                double p = 0;
                EXPECT_EQ(project.get_node_value(k, EN_PRESSURE, p), 0);
                values.push_back(p);
            }
            long step = 0;
            EXPECT_EQ(project.next_h(step), 0);
            if (step == 0) return values;
        }
    };
    const auto step_to = [](toolkit::Project& project, long until) {
        EXPECT_EQ(project.open_h(), 0);
        EXPECT_EQ(project.init_h(EN_NOSAVE), 0);
        for (long next = 0; next < until;) {
            long time = 0;
            EXPECT_LE(project.run_h(time), 6);
            long step = 0;
            EXPECT_EQ(project.next_h(step), 0);
            next = time + step;
        }
    };
    for (const int check : {3, 17}) {
        toolkit::Project saved_project;
        ASSERT_EQ(saved_project.open(town_.string(), "", ""), 0);
        step_to(saved_project, 12 * 3600);
        toolkit::SavedHydraulics saved;
        ASSERT_EQ(saved_project.save_hydraulics(saved), 0);
        const auto first = pressures_from(saved_project, 0, 0);
        for (const double demand : {0.0, 750.0, 2250.0}) {
            ASSERT_EQ(saved_project.restore_node_demands(check), 0);
            ASSERT_EQ(saved_project.restore_hydraulics(saved), 0);
            const auto again = pressures_from(saved_project, check, demand);

            toolkit::Project replay;
            ASSERT_EQ(replay.open(town_.string(), "", ""), 0);
            step_to(replay, 12 * 3600);
            const auto expected = pressures_from(replay, check, demand);
            ASSERT_EQ(again.size(), expected.size());
            EXPECT_EQ(std::memcmp(again.data(), expected.data(), again.size() * sizeof(double)), 0)
                << "junction " << check << " at " << demand;
        }
        ASSERT_EQ(saved_project.restore_node_demands(check), 0);
        ASSERT_EQ(saved_project.restore_hydraulics(saved), 0);
        EXPECT_EQ(pressures_from(saved_project, 0, 0), first);
    }
}

TEST_F(FireStudyTest, HydrantRowsAreThoseOfTheFullRunInEveryMode) {
    // Quoted and bare IDs, another letter case, a byte-order mark, a repeat and an unknown ID.
    WriteBytes(dir() / "hydrants.txt", "\xEF\xBB\xBF\"J7\"\r\nj2\r\n \"J19\"\r\nJ7\r\nNO-SUCH\r\n");
    const std::vector<std::string> hydrants = files::ReadJunctionList(dir() / "hydrants.txt");
    const StudyOptions study = Study(12, 2, FireDemand::Add, 10.0f);
    std::vector<RunSettings> runs{Available(town_, study), Design(town_, study), Available(town0_),
                                  Design(town0_)};
    RunSettings steady = Settings(town0_);
    steady.minimal_pressure = 40;
    steady.mode = SteadyRun{3000, 100, SearchMethod::Linear};
    runs.push_back(steady);
    RunSettings duration = Settings(town_);
    duration.minimal_pressure = 20;
    duration.mode = DurationRun{1500};
    runs.push_back(duration);
    RunSettings flow = Settings(town_);
    flow.minimal_pressure = 20;
    flow.mode = FlowRun{2, 3000, 250, SearchMethod::Bisection};
    runs.push_back(flow);
    for (RunSettings& settings : runs) {
        settings.output_file = dir() / "full.txt";
        Run(settings);
        settings.hydrants = hydrants;
        settings.output_file = dir() / "some.txt";
        settings.parallelism.threads = 2;
        std::vector<std::string> messages;
        Run(settings, &messages);
        const auto all_lines = Lines(dir() / "full.txt");
        const auto some = Lines(dir() / "some.txt");
        ASSERT_EQ(some.size(), 4U) << settings.mode.index();
        EXPECT_EQ(some[0], all_lines[0]);
        EXPECT_EQ(some[1], all_lines[2]);   // J2
        EXPECT_EQ(some[2], all_lines[7]);   // J7
        EXPECT_EQ(some[3], all_lines[19]);  // J19
        ASSERT_FALSE(messages.empty());
        EXPECT_NE(messages.front().find("hydrants: NO-SUCH"), std::string::npos)
            << messages.front();
    }
}

TEST_F(FireStudyTest, ThreadCountsGiveTheSameStudyFiles) {
    const StudyOptions study = Study(7.5, 3, FireDemand::Replace, 6.0f);
    for (const bool design : {false, true}) {
        RunSettings settings = design ? Design(town_, study) : Available(town_, study);
        settings.parallelism.threads = 1;
        const std::string one = Run(settings);
        settings.parallelism.threads = 3;
        EXPECT_EQ(Run(settings), one);
        EXPECT_TRUE(one.starts_with(design ? "\"Check_Node\",\"Fire_Flow\",\"Check_Pressure\","
                                             "\"Lowest_Node\",\"Lowest_Pressure\",\"Fastest_Pipe\""
                                           : "\"Check_Node\",\"Available_Flow\",\"Limiting_Node\","
                                             "\"Limiting_Pressure\",\"Check_Pressure\","
                                             "\"Limiting_Pipe\""));
    }
}

TEST_F(FireStudyTest, AFireBeyondTheSimulationIsRefusedWithItsDuration) {
    const auto refusal = [&](const RunSettings& settings) {
        RecordingObserver observer;
        const RunResult result = RunFireFlow(settings, observer);
        EXPECT_EQ(result.status, RunStatus::Refused);
        EXPECT_FALSE(std::filesystem::exists(settings.output_file));
        return result.message;
    };
    EXPECT_EQ(refusal(Available(town_, Study(23, 1.5, FireDemand::Replace, std::nullopt))),
              "The fire would end after the end of the simulation: the duration of the INP file "
              "is 24 hours");
    EXPECT_EQ(refusal(Design(town0_, Study(0, 2, FireDemand::Add, std::nullopt))),
              "The fire would end after the end of the simulation: the duration of the INP file "
              "is 0 hours");
    EXPECT_EQ(refusal(Design(town_, Study(-1, 2, FireDemand::Add, std::nullopt))),
              "The demand time and the fire duration must not be negative");
    EXPECT_EQ(refusal(Available(town_, Study(1, 2, FireDemand::Add, 0.0f))),
              "The maximal velocity must be greater than zero");
    // The fire may end at the end of the simulation.
    Run(Design(town_, Study(22, 2, FireDemand::Add, std::nullopt)));
}

TEST_F(FireStudyTest, RequiredFlowsJudgeTheRowsAndGiveDesignFlows) {
    StudyOptions study = Study(12, 0, FireDemand::Replace, std::nullopt);
    study.required_flows = std::vector<files::JunctionPressure>{{"J1", 500}, {"J3", 2500}};
    Run(Available(town_, study));
    const auto rows = Lines(town_.string() + ".TXT");
    ASSERT_EQ(rows.size(), 25U);
    // J1 reaches the maximal flow; J3 is judged against 2500; J2 has no requirement.
    EXPECT_EQ(rows[1], "\"J1\",\"Maximal flow was reached\",\"\",\"\",\"\",\"\",\"\",500,\"Pass\"");
    EXPECT_TRUE(rows[2].ends_with(",\"\",\"\",\"\",\"\"")) << rows[2];
    EXPECT_TRUE(rows[3].ends_with(",2500,\"Fail\"") || rows[3].ends_with(",2500,\"Pass\""));
    Run(Design(town_, study));
    const auto design = Lines(town_.string() + ".TXT");
    EXPECT_TRUE(design[1].starts_with("\"J1\",500,")) << design[1];
    EXPECT_TRUE(design[2].starts_with("\"J2\",1500,")) << design[2];
    EXPECT_TRUE(design[3].starts_with("\"J3\",2500,")) << design[3];
    EXPECT_TRUE(design[1].ends_with(",\"\",\"\",\"Pass\"")) << design[1];
}

}  // namespace
}  // namespace hydrosk::analysis::testing
