#include "analysis/run_messages.h"

#include "toolkit/error_messages.h"

namespace hydrosk::analysis::messages {
namespace {

void AppendList(std::string& text, std::string_view file, std::span<const std::string> ids) {
    if (ids.empty()) return;
    text += "\n";
    text += file;
    text += ":";
    for (std::size_t i = 0; i < ids.size(); ++i) {
        text += i == 0 ? " " : ", ";
        text += ids[i];
    }
}

}  // namespace

std::string CompletionQuestion(const std::filesystem::path& results_file) {
    return "The results file was saved in the same directory as the INP file\r\n" +
           results_file.string() + "\r\n\r\nDo you want to view the output file now?";
}

std::string ToolkitFailure(int code, std::string_view check_junction) {
    return "The hydraulic toolkit failed with error " + std::to_string(code) + " (" +
           std::string(toolkit::error_message(code)) + ") while checking junction " +
           std::string(check_junction);
}

std::string UnsolvedTrials(int trials, int code, std::span<const std::string> junctions) {
    std::string text = "The hydraulic equations could not be solved in " +
                       std::to_string(trials) + (trials == 1 ? " trial" : " trials") +
                       " (error " + std::to_string(code) + ": " +
                       std::string(toolkit::error_message(code)) + ") of " +
                       (junctions.size() == 1 ? "junction" : "junctions");
    for (std::size_t i = 0; i < junctions.size() && i < kUnsolvedJunctionsShown; ++i) {
        text += i == 0 ? " " : ", ";
        text += junctions[i];
    }
    if (junctions.size() > kUnsolvedJunctionsShown) {
        text += " and " + std::to_string(junctions.size() - kUnsolvedJunctionsShown) + " more";
    }
    return text + ". Their pressures were tested as the solver left them.";
}

std::string UnknownConstraintIds(std::span<const std::string> min_pressure_ids,
                                 std::span<const std::string> excluded_ids) {
    if (min_pressure_ids.empty() && excluded_ids.empty()) return {};
    std::string text =
        "These IDs of the constraint files are not junctions of the network and were skipped:";
    AppendList(text, "MinPressures.txt", min_pressure_ids);
    AppendList(text, "NoCheck.txt", excluded_ids);
    return text;
}

}  // namespace hydrosk::analysis::messages
