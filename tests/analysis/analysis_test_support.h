// Helpers shared by the tests of the fire-flow run: a working directory of its own per test
// (the toolkit's scratch files land there), the small networks of data/, an observer that
// records what a run tells, and direct toolkit solves that give the pressures the searches
// will meet.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/fire_flow_run.h"
#include "analysis/run_observer.h"
#include "analysis/run_settings.h"
#include "files/number_text.h"
#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::analysis::testing {

inline std::filesystem::path DataFile(const std::string& name) {
    return std::filesystem::path(HYDROSK_ANALYSIS_TEST_DATA) / name;
}

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << file;
}

// An INP text with its simulation duration set to 0 (the [TIMES] line, in any letter case), for
// steady-state runs on networks written for the extended period.
inline std::string WithZeroDuration(const std::string& text) {
    static const std::regex duration(R"((^|\n)[ \t]*duration[^\r\n]*)", std::regex::icase);
    return std::regex_replace(text, duration, "$1 Duration 0");
}

// The lines of a file written in the record layout, without their CR LF.
inline std::vector<std::string> Lines(const std::filesystem::path& file) {
    const std::string bytes = ReadBytes(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// 9 significant digits: a float written so reads back as the same float.
inline std::string ExactText(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

// Everything a run tells, one line per event.
class RecordingObserver : public RunObserver {
public:
    bool answer = false;  // to the completion question
    std::vector<std::string> events;

    void ShowMessage(MessageKind kind, const std::string& text) override {
        const char* name = kind == MessageKind::Refusal   ? "refusal"
                           : kind == MessageKind::Failure ? "failure"
                                                          : "notice";
        events.push_back(std::string(name) + ": " + text);
    }
    bool AskYesNo(const std::string& text) override {
        events.push_back("question: " + text);
        return answer;
    }
    void SetProgressRange(int minimum, int maximum) override {
        events.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
    }
    void SetProgressValue(int value) override {
        events.push_back("value " + std::to_string(value));
    }
    void ServeEvents() override { events.push_back("serve"); }
    void SetBusy(bool busy) override { events.push_back(busy ? "busy on" : "busy off"); }
    void OpenViewer(const std::filesystem::path& results_file) override {
        events.push_back("viewer " + results_file.string());
    }

    // Everything but the moments of serving events, which follow the clock, not the work.
    std::vector<std::string> WithoutServing() const {
        std::vector<std::string> kept;
        for (const auto& event : events) {
            if (event != "serve") kept.push_back(event);
        }
        return kept;
    }

    // Only the messages (refusals, failures, notices), in order.
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const auto& event : events) {
            if (event.starts_with("refusal: ") || event.starts_with("failure: ") ||
                event.starts_with("notice: ")) {
                messages.push_back(event);
            }
        }
        return messages;
    }
};

// A directory of its own for each test, which is also the current directory during the test.
class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() /
               ("hydrosk-analysis-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(dir_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }

    const std::filesystem::path& dir() const { return dir_; }

    // Copies a network of data/ into the test's directory.
    std::filesystem::path CopyNetwork(const std::string& name) {
        const auto target = dir_ / name;
        std::filesystem::copy_file(DataFile(name), target,
                                   std::filesystem::copy_options::overwrite_existing);
        return target;
    }

    // A steady-state run of a network in the test's directory with the window's defaults
    // (minimal pressure 110, flows 0 to 1000 in steps of 10); results in <inp>.TXT.
    RunSettings Settings(const std::filesystem::path& inp) const {
        RunSettings settings;
        settings.inp_file = inp;
        settings.constraints_directory = inp.parent_path();
        settings.output_file = inp.string() + ".TXT";
        return settings;
    }

    // A copy of `source` in the test's directory, its duration set to 0 when `steady`.
    std::filesystem::path CopyInp(const std::filesystem::path& source, bool steady) {
        std::string text = ReadBytes(source);
        if (steady) text = WithZeroDuration(text);
        const auto target = dir_ / source.filename();
        WriteBytes(target, text);
        return target;
    }

    // A copy of the shared network `network` (its duration set to 0 when `steady`), with
    // `no_check` (NoCheck.txt's bytes) beside it unless empty.
    std::filesystem::path SharedCopy(const char* network, bool steady, const char* no_check) {
        const auto source =
            std::filesystem::path(HYDROSK_SHARED_NETWORKS) / (std::string(network) + ".inp");
        EXPECT_TRUE(std::filesystem::exists(source)) << source;
        if (*no_check != '\0') WriteNoCheck(no_check);
        return CopyInp(source, steady);
    }

    // What a run ended with, told and wrote: to compare the same run spread differently.
    struct RunOutcome {
        RunStatus status;
        std::vector<std::string> messages;
        std::string results;
    };
    static RunOutcome RunAndRead(const RunSettings& settings) {
        RecordingObserver observer;
        const RunResult result = RunFireFlow(settings, observer);
        return {result.status, observer.Messages(), ReadBytes(settings.output_file)};
    }

    void WriteNoCheck(const std::string& bytes) { WriteBytes(dir_ / "NoCheck.txt", bytes); }
    void WriteMinPressures(const std::string& bytes) {
        WriteBytes(dir_ / "MinPressures.txt", bytes);
    }

private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

// The single-precision pressure at node `node` when the junction at `check` draws `demand`
// (without a pattern) in a steady-state solve, the other demands as in the file.
inline float SteadyPressure(const std::filesystem::path& inp, int check, double demand, int node) {
    toolkit::Project project;
    EXPECT_EQ(project.open(inp.string(), "", ""), 0) << inp;
    EXPECT_EQ(project.set_node_value(check, EN_PATTERN, 0.0), 0);
    EXPECT_EQ(project.set_node_value(check, EN_BASEDEMAND, demand), 0);
    // A solve that fails or does not converge still leaves the pressures the searches test.
    (void)project.solve_h();
    double pressure = 0;
    EXPECT_EQ(project.get_node_value(node, EN_PRESSURE, pressure), 0);
    return static_cast<float>(pressure);
}

// The same at the first step (t = 0) of the extended-period simulation.
inline float FirstStepPressure(const std::filesystem::path& inp, int check, float demand,
                               int node) {
    toolkit::Project project;
    EXPECT_EQ(project.open(inp.string(), "", ""), 0) << inp;
    EXPECT_EQ(project.open_h(), 0);
    EXPECT_EQ(project.init_h(EN_SAVE), 0);
    EXPECT_EQ(project.set_node_value(check, EN_BASEDEMAND, demand), 0);
    EXPECT_EQ(project.set_node_value(check, EN_PATTERN, 0.0), 0);
    long time = -1;
    EXPECT_LE(project.run_h(time), 6);
    EXPECT_EQ(time, 0);
    double pressure = 0;
    EXPECT_EQ(project.get_node_value(node, EN_PRESSURE, pressure), 0);
    return static_cast<float>(pressure);
}

// ky10's junctions at the pumps' suction and delivery, below 20 psi with no fire flow at all.
inline constexpr const char* kKy10Low =
    "\"I-Pump-1\"\r\n\"I-Pump-2\"\r\n\"I-Pump-3\"\r\n\"O-Pump-1\"\r\n"
    "\"I-Pump-4\"\r\n";

// A number as a front end gives it to the run: the text read with a period as the decimal
// separator, rounded to single precision.
inline float Number(const std::string& text) {
    const auto value = files::ParseLocaleNumber(text, std::locale::classic());
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(0.0f);
}

// The settings of a mode from the texts of a test's table, each read by Number; an empty
// tolerance is the default one.
inline ModeSettings ModeFromTexts(RunMode mode, const std::string& max_flow,
                                  const std::string& interval, const std::string& required_flow,
                                  const std::string& required_time, SearchMethod search,
                                  const std::string& tolerance = "") {
    switch (mode) {
        case RunMode::Steady:
            return SteadyRun{Number(max_flow), Number(interval), search};
        case RunMode::Available: {
            AvailableFlowRun available{Number(max_flow)};
            if (!tolerance.empty()) available.tolerance = Number(tolerance);
            return available;
        }
        case RunMode::Design:
            return DesignFlowRun{Number(required_flow)};
        case RunMode::Duration:
            return DurationRun{Number(required_flow)};
        case RunMode::Flow:
            return FlowRun{Number(required_time), Number(max_flow), Number(interval), search};
    }
    return SteadyRun{};
}

// A value strictly between two floats, written so that it reads back exactly.
inline std::string Between(float low, float high) {
    return ExactText(low + (high - low) / 2);
}

}  // namespace hydrosk::analysis::testing
