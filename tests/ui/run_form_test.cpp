// The window's run: its boxes read as the window reads them, then the run around the searches:
// the checks and their order, the network it opens, the end of a completed run (question,
// viewer, settings file) and the files it cannot write.
#include <gtest/gtest.h>

#include <functional>
#include <locale>

#include "analysis/run_messages.h"
#include "analysis_test_support.h"
#include "files/number_text.h"
#include "files/settings_file.h"
#include "ui/run_form.h"

namespace hydrosk::analysis::testing {
namespace {

using messages::kCouldNotOpenInp;

// The window's form and the number format in which it is read.
struct RunInputs : ui::RunForm {
    std::locale locale = std::locale::classic();
};

enum class ExtendedPeriodOption { FindDuration, FindFlow };

RunResult RunFireFlow(const RunInputs& inputs, RunObserver& observer) {
    return analysis::RunFireFlow(ui::ReadRunForm(inputs, inputs.locale), observer);
}

std::string Refusal(std::string_view text) {
    return "refusal: " + std::string(text);
}

class FireFlowRunTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        line_ = CopyNetwork("line.inp");
        settings_ = dir() / "settings";
        std::filesystem::create_directory(settings_);
    }

    // The window's defaults for a network in the test's directory.
    RunInputs Inputs(const std::filesystem::path& inp) const {
        RunInputs inputs;
        inputs.inp_path = inp.string();
        inputs.minimal_pressure = "110";
        inputs.maximal_flow = "1000";
        inputs.flow_interval = "10";
        inputs.required_flow = "100";
        inputs.required_time = "1.5";
        inputs.inp_directory = inp.parent_path().string() + "/";
        inputs.output_file = inp.string() + ".TXT";
        inputs.settings_directory = settings_;
        return inputs;
    }

    RunInputs LineInputs() const {
        RunInputs inputs = Inputs(line_);
        inputs.minimal_pressure = "55";
        inputs.settings_directory = settings_;
        return inputs;
    }

    // falling_head.inp (3 h) on the extended-period page with the given option.
    RunInputs ExtendedPeriodInputs(ExtendedPeriodOption option) {
        RunInputs inputs = Inputs(CopyNetwork("falling_head.inp"));
        inputs.settings_directory = settings_;
        inputs.extended_period = true;
        inputs.find_flow = option == ExtendedPeriodOption::FindFlow;
        return inputs;
    }

    // The run ends with exactly this refusal and writes nothing.
    void ExpectRefusal(const RunInputs& inputs, std::string_view message) {
        RecordingObserver observer;
        const RunResult result = RunFireFlow(inputs, observer);
        EXPECT_EQ(result.status, RunStatus::Refused);
        EXPECT_EQ(result.message, message);
        EXPECT_EQ(observer.Messages(), std::vector<std::string>{Refusal(message)});
        ASSERT_FALSE(observer.events.empty());
        EXPECT_EQ(observer.events.back(), "busy off");
        EXPECT_FALSE(std::filesystem::exists(inputs.output_file)) << inputs.output_file;
        EXPECT_FALSE(std::filesystem::exists(settings_ / files::kSettingsFileName));
    }

    std::filesystem::path line_;
    std::filesystem::path settings_;
};

struct InputCase {
    const char* name;
    std::function<void(RunInputs&)> change;
    std::string_view message;
};

class RefusedInputsTest : public FireFlowRunTest,
                          public ::testing::WithParamInterface<InputCase> {};

TEST_P(RefusedInputsTest, EndsWithItsMessageAndWritesNothing) {
    RunInputs inputs = LineInputs();
    GetParam().change(inputs);
    ExpectRefusal(inputs, GetParam().message);
}

const InputCase kRefusedInputs[] = {
    // Presence checks, in their order; a text of blanks is present.
    {"NoInpFile", [](RunInputs& in) { in.inp_path.clear(); }, messages::kEnterInpFile},
    {"NoInpFileBeforeNumbers",
     [](RunInputs& in) {
         in.inp_path.clear();
         in.minimal_pressure.clear();
     },
     messages::kEnterInpFile},
    {"AllNumbersEmpty",
     [](RunInputs& in) {
         in.minimal_pressure.clear();
         in.maximal_flow.clear();
         in.flow_interval.clear();
     },
     messages::kEnterMinimalPressure},
    {"MaximalFlowEmpty", [](RunInputs& in) { in.maximal_flow.clear(); },
     messages::kEnterMaximalFlow},
    {"OnlyIntervalEmpty", [](RunInputs& in) { in.flow_interval.clear(); },
     messages::kEnterFlowInterval},
    {"IntervalEmptyBeforeBlankPressure",
     [](RunInputs& in) {
         in.minimal_pressure = "   ";
         in.flow_interval.clear();
     },
     messages::kEnterFlowInterval},
    // Texts that are not numbers, in box order.
    {"BlankPressure", [](RunInputs& in) { in.minimal_pressure = "   "; },
     messages::kMinimalPressureNumber},
    {"LettersPressure",
     [](RunInputs& in) {
         in.minimal_pressure = "abc";
         in.flow_interval = "0";
     },
     messages::kMinimalPressureNumber},
    {"TrailingLettersFlow", [](RunInputs& in) { in.maximal_flow = "100 gpm"; },
     messages::kMaximalFlowNumber},
    {"FlowOutOfRange", [](RunInputs& in) { in.maximal_flow = "1e99"; },
     messages::kMaximalFlowNumber},
    {"LettersInterval", [](RunInputs& in) { in.flow_interval = "ten"; },
     messages::kFlowIntervalNumber},
    {"ZeroInterval", [](RunInputs& in) { in.flow_interval = "0"; },
     messages::kFlowIntervalPositive},
    {"NegativeInterval", [](RunInputs& in) { in.flow_interval = "-10"; },
     messages::kFlowIntervalPositive},
    {"IntervalTooSmallToReachTheMaximum",
     [](RunInputs& in) {
         in.maximal_flow = "100000000";
         in.flow_interval = "1";
     },
     messages::kFlowIntervalTooSmall},
    // The network.
    {"MissingInpFile", [](RunInputs& in) { in.inp_path += ".missing"; },
     "Could not open INP file - OpenFile\n  Error 302: cannot open input file"},
    {"SteadyStateWithDuration",
     [](RunInputs& in) { in.inp_path = DataFile("falling_head.inp").string(); },
     messages::kSteadyStateDuration},
    {"DurationOfZeroForFindDuration",
     [](RunInputs& in) {
         in.extended_period = true;
         in.required_flow.clear();  // the duration is checked first
     },
     messages::kExtendedPeriodDuration},
    {"DurationOfZeroForFindFlow",
     [](RunInputs& in) {
         in.extended_period = true;
         in.find_flow = true;
     },
     messages::kExtendedPeriodDuration},
    {"HalfHourIsZeroHoursForExtendedPeriod",
     [](RunInputs& in) {
         in.inp_path = DataFile("half_hour.inp").string();
         in.extended_period = true;
     },
     messages::kExtendedPeriodDuration},
};

INSTANTIATE_TEST_SUITE_P(Inputs, RefusedInputsTest, ::testing::ValuesIn(kRefusedInputs),
                         [](const auto& info) { return std::string(info.param.name); });

struct ExtendedPeriodCase {
    const char* name;
    ExtendedPeriodOption option;
    const char* required_flow;
    const char* required_time;
    std::string_view message;
};

class RefusedExtendedPeriodInputsTest : public FireFlowRunTest,
                                        public ::testing::WithParamInterface<ExtendedPeriodCase> {};

TEST_P(RefusedExtendedPeriodInputsTest, EndsWithItsMessageAndWritesNothing) {
    RunInputs inputs = ExtendedPeriodInputs(GetParam().option);
    inputs.required_flow = GetParam().required_flow;
    inputs.required_time = GetParam().required_time;
    ExpectRefusal(inputs, GetParam().message);
}

const ExtendedPeriodCase kRefusedExtendedPeriodInputs[] = {
    {"EmptyRequiredFlow", ExtendedPeriodOption::FindDuration, "", "1.5",
     messages::kEnterRequiredFlow},
    {"BlankRequiredFlow", ExtendedPeriodOption::FindDuration, "  ", "1.5",
     messages::kRequiredFlowNumber},
    {"LettersRequiredFlow", ExtendedPeriodOption::FindDuration, "abc", "",
     messages::kRequiredFlowNumber},
    {"EmptyRequiredTime", ExtendedPeriodOption::FindFlow, "", "", messages::kEnterRequiredTime},
    {"ZeroRequiredTime", ExtendedPeriodOption::FindFlow, "100", "0", messages::kEnterRequiredTime},
    {"NegativeRequiredTime", ExtendedPeriodOption::FindFlow, "100", "-1",
     messages::kEnterRequiredTime},
    {"LettersRequiredTime", ExtendedPeriodOption::FindFlow, "100", "abc",
     messages::kEnterRequiredTime},
    {"RequiredTimeWithUnit", ExtendedPeriodOption::FindFlow, "100", "1.5 h",
     messages::kRequiredTimeNumber},
};

INSTANTIATE_TEST_SUITE_P(Inputs, RefusedExtendedPeriodInputsTest,
                         ::testing::ValuesIn(kRefusedExtendedPeriodInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// The duration search never reads the maximal flow or the flow interval: ranges that would keep
// a trial flow from reaching the maximum do not stop it. The run still needs both as numbers
// (they go to the settings file), and the flow search still refuses the ranges.
struct IntervalCase {
    const char* name;
    ExtendedPeriodOption option;
    const char* maximal_flow;
    const char* flow_interval;
    std::string_view refusal;  // empty: the run completes
};

class FlowIntervalByModeTest : public FireFlowRunTest,
                               public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(FlowIntervalByModeTest, OnlyTheFlowSearchChecksTheRange) {
    const IntervalCase& c = GetParam();
    RunInputs inputs = ExtendedPeriodInputs(c.option);
    inputs.maximal_flow = c.maximal_flow;
    inputs.flow_interval = c.flow_interval;
    if (!c.refusal.empty()) return ExpectRefusal(inputs, c.refusal);
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);
    EXPECT_EQ(result.status, RunStatus::Completed) << result.message;
    EXPECT_EQ(Lines(inputs.output_file).size(), 3U);
    EXPECT_EQ(files::LoadSettings(settings_, std::locale::classic()).flow_interval,
              files::FormatSingle(std::stof(c.flow_interval)));
}

const IntervalCase kIntervalCases[] = {
    {"DurationZeroInterval", ExtendedPeriodOption::FindDuration, "1000", "0", {}},
    {"DurationNegativeInterval", ExtendedPeriodOption::FindDuration, "-5", "-10", {}},
    {"DurationIntervalTooSmall", ExtendedPeriodOption::FindDuration, "100000000", "1", {}},
    {"DurationIntervalNotANumber", ExtendedPeriodOption::FindDuration, "1000", "ten",
     messages::kFlowIntervalNumber},
    {"DurationMaximalFlowNotANumber", ExtendedPeriodOption::FindDuration, "lots", "10",
     messages::kMaximalFlowNumber},
    {"FlowZeroInterval", ExtendedPeriodOption::FindFlow, "1000", "0",
     messages::kFlowIntervalPositive},
    {"FlowIntervalTooSmall", ExtendedPeriodOption::FindFlow, "100000000", "1",
     messages::kFlowIntervalTooSmall},
};

INSTANTIATE_TEST_SUITE_P(Inputs, FlowIntervalByModeTest, ::testing::ValuesIn(kIntervalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FireFlowRunTest, PresenceRefusalLeavesThePointerAlone) {
    RunInputs inputs = LineInputs();
    inputs.flow_interval.clear();
    RecordingObserver observer;
    RunFireFlow(inputs, observer);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{Refusal(messages::kEnterFlowInterval), "busy off"}));
}

TEST_F(FireFlowRunTest, LaterRefusalComesWithTheBusyPointerOn) {
    RunInputs inputs = LineInputs();
    inputs.flow_interval = "0";
    RecordingObserver observer;
    RunFireFlow(inputs, observer);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"busy on", Refusal(messages::kFlowIntervalPositive),
                                        "busy off"}));
}

TEST_F(FireFlowRunTest, InpFileTheToolkitRefusesEndsTheRun) {
    RunInputs inputs = LineInputs();
    inputs.inp_path = CopyNetwork("unconnected_junction.inp").string();
    // The input errors as EPANET's report gives them, under the message.
    ExpectRefusal(inputs,
                  "Could not open INP file - OpenFile\n"
                  "  Error 233: network has unconnected node J2\n"
                  "  Error 200: one or more errors in input file");
}

TEST_F(FireFlowRunTest, NetworkWithoutJunctionsIsRefused) {
    RunInputs inputs = LineInputs();
    inputs.inp_path = CopyNetwork("no_junctions.inp").string();
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);
    EXPECT_EQ(result.status, RunStatus::Refused);
    // EPANET 2.2 itself refuses such a file when it opens it.
    EXPECT_TRUE(result.message.starts_with(kCouldNotOpenInp) ||
                result.message == messages::kNoJunctions)
        << result.message;
    EXPECT_FALSE(std::filesystem::exists(inputs.output_file));
}

TEST_F(FireFlowRunTest, InpPathWithBlanksAroundItOpens) {
    RunInputs inputs = LineInputs();
    inputs.inp_path = "  " + inputs.inp_path + " ";
    RecordingObserver observer;
    EXPECT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);
}

TEST_F(FireFlowRunTest, HalfHourDurationRunsInSteadyState) {
    RunInputs inputs = LineInputs();
    inputs.inp_path = CopyNetwork("half_hour.inp").string();
    inputs.output_file = inputs.inp_path + ".TXT";
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);
    EXPECT_EQ(result.status, RunStatus::Completed) << result.message;
    EXPECT_EQ(Lines(inputs.output_file).size(), 2U);
}

TEST_F(FireFlowRunTest, YesOpensTheViewerAndTheSettingsAreWrittenEitherWay) {
    for (const bool answer : {true, false}) {
        std::filesystem::remove(settings_ / files::kSettingsFileName);
        RunInputs inputs = LineInputs();
        RecordingObserver observer;
        observer.answer = answer;
        ASSERT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);

        const std::string question =
            "question: " + messages::CompletionQuestion(inputs.output_file);
        std::vector<std::string> tail{question};
        if (answer) tail.push_back("viewer " + inputs.output_file.string());
        tail.push_back("busy off");
        ASSERT_GE(observer.events.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(observer.events.end() - static_cast<long>(tail.size()),
                                           observer.events.end()),
                  tail);
        EXPECT_TRUE(std::filesystem::exists(settings_ / files::kSettingsFileName));
    }
}

TEST_F(FireFlowRunTest, CompletionQuestionNamesTheResultsFile) {
    EXPECT_EQ(messages::CompletionQuestion("/data/town.inp.TXT"),
              "The results file was saved in the same directory as the INP file\r\n"
              "/data/town.inp.TXT\r\n\r\nDo you want to view the output file now?");
}

TEST_F(FireFlowRunTest, SettingsHoldTheRunsNumbersAndLeadingRequiredValues) {
    RunInputs inputs = LineInputs();
    inputs.minimal_pressure = " 55 ";
    inputs.maximal_flow = "200";
    inputs.flow_interval = "2.5";
    inputs.required_flow = "12abc";
    inputs.required_time = "0";
    RecordingObserver observer;
    ASSERT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);

    EXPECT_EQ(ReadBytes(settings_ / files::kSettingsFileName), "\"[PATH]\",\"" +
                                                                   inputs.inp_directory +
                                                                   "\"\r\n"
                                                                   "\"[MINIMAL_PRESSURE]\",55\r\n"
                                                                   "\"[MAX_FLOW]\",200\r\n"
                                                                   "\"[FLOW_INTERVAL]\",2.5\r\n"
                                                                   "\"[REQUIRED_FLOW]\",12\r\n");
}

TEST_F(FireFlowRunTest, UnwritableSettingsFileEndsTheRunAfterTheQuestion) {
    RunInputs inputs = LineInputs();
    // A settings "directory" that is a file: nothing can be created in it.
    inputs.settings_directory = dir() / "not-a-directory";
    WriteBytes(inputs.settings_directory, "x");
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);

    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find(std::string(files::kSettingsFileName)), std::string::npos)
        << result.message;
    ASSERT_GE(observer.events.size(), 3U);
    EXPECT_TRUE(observer.events[observer.events.size() - 3].starts_with("question: "));
    EXPECT_EQ(observer.events[observer.events.size() - 2], "failure: " + result.message);
    EXPECT_EQ(Lines(inputs.output_file).size(), 4U);  // the results are complete
}

TEST_F(FireFlowRunTest, UnwritableResultsFileEndsTheRunBeforeTheQuestion) {
    RunInputs inputs = LineInputs();
    inputs.output_file = dir() / "no-such-folder" / "line.inp.TXT";
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);

    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find(inputs.output_file.string()), std::string::npos)
        << result.message;
    for (const auto& event : observer.events) EXPECT_FALSE(event.starts_with("question: "));
    EXPECT_FALSE(std::filesystem::exists(settings_ / files::kSettingsFileName));
}

TEST_F(FireFlowRunTest, UnreadableMinimalPressureEndsTheRunNamingTheFile) {
    WriteMinPressures("\"J1\",abc\r\n");
    RunInputs inputs = LineInputs();
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);

    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find("MinPressures.txt"), std::string::npos) << result.message;
    EXPECT_FALSE(std::filesystem::exists(inputs.output_file));
}

TEST_F(FireFlowRunTest, EmptyConstraintFilesChangeNothing) {
    RunInputs inputs = LineInputs();
    RecordingObserver observer;
    ASSERT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);
    const std::string without = ReadBytes(inputs.output_file);

    WriteNoCheck("");
    WriteMinPressures("");
    ASSERT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);
    EXPECT_EQ(ReadBytes(inputs.output_file), without);
    EXPECT_TRUE(observer.Messages().empty());
}

TEST_F(FireFlowRunTest, NumbersFollowTheUsersNumberFormat) {
    std::optional<std::locale> german;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"}) {
        try {
            german = std::locale(name);
            break;
        } catch (const std::runtime_error&) {
        }
    }
    if (!german) GTEST_SKIP() << "the de_DE locale is not installed (make deps generates it)";

    RunInputs inputs = LineInputs();
    RecordingObserver observer;
    ASSERT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);
    const std::string period = ReadBytes(inputs.output_file);

    inputs.locale = *german;
    inputs.minimal_pressure = "55,0";
    ASSERT_EQ(RunFireFlow(inputs, observer).status, RunStatus::Completed);
    EXPECT_EQ(ReadBytes(inputs.output_file), period);
}

TEST_F(FireFlowRunTest, ExampleTownRunsInItsExtendedPeriod) {
    const auto town = dir() / "town.inp";
    std::filesystem::copy_file(std::filesystem::path(HYDROSK_EXAMPLES) / "town.inp", town);
    RunInputs inputs = Inputs(town);
    inputs.minimal_pressure = "20";
    ExpectRefusal(inputs, messages::kSteadyStateDuration);

    inputs.extended_period = true;
    inputs.required_flow = "1500";
    RecordingObserver observer;
    const RunResult result = RunFireFlow(inputs, observer);
    ASSERT_EQ(result.status, RunStatus::Completed) << result.message;
    const auto lines = Lines(inputs.output_file);
    ASSERT_EQ(lines.size(), 25U);
    EXPECT_TRUE(lines[1].starts_with(R"("J1",1500,)")) << lines[1];
    EXPECT_TRUE(lines[24].starts_with(R"("J24",1500,)")) << lines[24];
}

}  // namespace
}  // namespace hydrosk::analysis::testing
