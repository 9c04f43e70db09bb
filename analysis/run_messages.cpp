#include "analysis/run_messages.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "files/printable_text.h"
#include "toolkit/codes.h"
#include "toolkit/error_messages.h"

namespace hydrosk::analysis::messages {
namespace {

void AppendList(std::string& text, std::string_view file, std::span<const std::string> ids,
                std::size_t listed) {
    if (ids.empty()) return;
    text += "\n";
    text += file;
    text += ":";
    for (std::size_t i = 0; i < listed; ++i) {
        text += i == 0 ? " " : ", ";
        text += files::FieldText(ids[i]);
    }
    const std::size_t more = ids.size() - listed;
    if (more > 0) text += (listed == 0 ? " " : " and ") + std::to_string(more) + " more";
}

std::string WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
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

std::string UnsolvedTrials(int trials, int code, std::span<const std::string> junctions,
                           bool halted, bool groups) {
    // Code 1 is the warning of a solve that did not converge; above 6 the solve failed.
    std::string_view what = toolkit::codes::IsError(code) ? toolkit::error_message(code)
                                                          : toolkit::warning_message(code);
    if (what.starts_with("WARNING: ")) what.remove_prefix(9);
    std::string text = "The hydraulic equations could not be solved in " + std::to_string(trials) +
                       (trials == 1 ? " trial" : " trials") + " (" +
                       (toolkit::codes::IsError(code) ? "error " : "warning ") +
                       std::to_string(code) + ": " + std::string(what) + ") of " +
                       (groups ? (junctions.size() == 1 ? "group" : "groups")
                               : (junctions.size() == 1 ? "junction" : "junctions"));
    for (std::size_t i = 0; i < junctions.size() && i < kUnsolvedJunctionsShown; ++i) {
        text += i == 0 ? " " : ", ";
        text += junctions[i];
    }
    if (junctions.size() > kUnsolvedJunctionsShown) {
        text += " and " + std::to_string(junctions.size() - kUnsolvedJunctionsShown) + " more";
    }
    text +=
        ". Their pressures were tested as the solver left them, except where a row says "
        "\"Unsolved\".";
    if (halted) {
        text +=
            " The INP file says \"Unbalanced STOP\": each of these simulations ended at its "
            "first step that did not converge.";
    }
    return text;
}

std::string UnknownConstraintIds(std::span<const std::string> min_pressure_ids,
                                 std::span<const std::string> excluded_ids) {
    if (min_pressure_ids.empty() && excluded_ids.empty()) return {};
    // Each list gets half of the IDs listed, and what the other one does not need.
    const std::size_t half = kListedUnknownIds / 2;
    const std::size_t first =
        std::min(min_pressure_ids.size(), kListedUnknownIds - std::min(excluded_ids.size(), half));
    const std::size_t second = std::min(excluded_ids.size(), kListedUnknownIds - first);
    std::string text =
        "These IDs of the constraint files are not junctions of the network and were skipped:";
    AppendList(text, "MinPressures.txt", min_pressure_ids, first);
    AppendList(text, "NoCheck.txt", excluded_ids, second);
    return text;
}

std::string UnknownJunctionIds(std::span<const UnknownIdList> lists) {
    std::size_t total = 0;
    for (const auto& list : lists) total += list.ids.size();
    if (total == 0) return {};
    std::string text =
        "These IDs of the constraint files are not junctions of the network and were skipped:";
    std::size_t room = kListedUnknownIds;
    for (const auto& list : lists) {
        const std::size_t listed = std::min(list.ids.size(), room);
        AppendList(text, list.file, list.ids, listed);
        room -= listed;
    }
    return text;
}

std::string FireAfterDuration(long duration_seconds) {
    char hours[32];
    std::snprintf(hours, sizeof hours, "%.10g", static_cast<double>(duration_seconds) / 3600.0);
    return "The fire would end after the end of the simulation: the duration of the INP file is " +
           std::string(hours) + " hours";
}

std::string BaselineFailures(std::span<const std::string> junctions,
                             std::span<const std::string> pipes) {
    const auto list = [](std::string_view what, std::span<const std::string> ids) {
        std::string text = std::to_string(ids.size()) + " " + std::string(what) + ":";
        for (std::size_t i = 0; i < ids.size() && i < kBaselineIdsShown; ++i) {
            text += (i == 0 ? " " : ", ") + files::FieldText(ids[i]);
        }
        if (ids.size() > kBaselineIdsShown) {
            text += " and " + std::to_string(ids.size() - kBaselineIdsShown) + " more";
        }
        return text;
    };
    std::string text = "Without any fire flow, at the demand time,";
    if (!junctions.empty()) {
        text += " " + list(junctions.size() == 1 ? "junction is below its minimal pressure"
                                                 : "junctions are below their minimal pressure",
                           junctions);
    }
    if (!pipes.empty()) {
        if (!junctions.empty()) text += ";";
        text += " " + list(pipes.size() == 1 ? "pipe is above the maximal velocity"
                                             : "pipes are above the maximal velocity",
                           pipes);
    }
    return text +
           ". Every trial fails with them; \"hydrosk-cli baseline\" lists the junctions for "
           "NoCheck.txt.";
}

std::vector<std::string> InputErrorLines(int code, std::span<const toolkit::InputError> errors,
                                         std::size_t limit) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < errors.size() && i < limit; ++i) {
        const toolkit::InputError& error = errors[i];
        if (error.code == toolkit::codes::kUnconnectedNode && error.line == 0) {
            // EPANET's report garbles this one (its message is formatted into the buffer it is
            // read from); the text it means is shown instead.
            lines.push_back(files::PrintableText(
                "Error 233: " + std::string(toolkit::error_message(233)) + " " + error.text));
            continue;
        }
        for (const std::string& line : error.report_lines) {
            lines.push_back(files::PrintableText(WithoutLineEnd(line)));
        }
    }
    if (errors.size() > limit) {
        lines.push_back("... and " + std::to_string(errors.size() - limit) + " more input errors");
    }
    lines.push_back("Error " + std::to_string(code) + ": " +
                    std::string(toolkit::error_message(code)));
    return lines;
}

std::string CouldNotOpenInp(int code, std::span<const toolkit::InputError> errors,
                            std::string_view hint) {
    std::string text(kCouldNotOpenInp);
    for (const std::string& line : InputErrorLines(code, errors, errors.size())) {
        text += "\n  " + line;
    }
    if (!hint.empty()) text += "\n  " + std::string(hint);
    return text;
}

namespace {

// Bytes in mebibytes, rounded up: "12 MB".
std::string Megabytes(std::size_t bytes) {
    constexpr std::size_t kMegabyte = 1024 * 1024;
    return std::to_string((bytes + kMegabyte - 1) / kMegabyte) + " MB";
}

}  // namespace

std::string OutOfMemory(int workers, const WorkerMemory& memory) {
    std::string text(kOutOfMemory);
    text +=
        " with " + std::to_string(workers) + (workers == 1 ? " worker thread" : " worker threads");
    if (memory.each > 0) {
        text += workers == 1 ? ", which needs about " : ", each of which needs about ";
        text += Megabytes(memory.each);
    } else if (memory.taken_at_failure > 0) {
        text += workers == 1 ? ", which had taken " : ", which had taken between them ";
        text += Megabytes(memory.taken_at_failure) + " before it ran out";
    }
    if (workers > 1) text += "; each holds the network's hydraulics of its own, so fewer need less";
    return text;
}

std::string ThreadNotStarted(int started, int workers, std::string_view reason) {
    return std::string(kOutOfMemory) + ": worker thread " + std::to_string(started + 1) + " of " +
           std::to_string(workers) + " could not be started (" + std::string(reason) +
           "); fewer threads need less";
}

std::string RowsKeptApart(int rows, const std::filesystem::path& partial_file,
                          const std::filesystem::path& results_file) {
    return "The " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
           " finished before it are in " + files::PrintableText(partial_file.string()) +
           "; the results file " + files::PrintableText(results_file.string()) +
           " was left as it was";
}

std::string RequiredTimeCapped(float required_hours, long duration_seconds) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Notice: the required time of %g hours is beyond the INP file's duration of "
                  "%g hours; the trials end at the end of the simulation",
                  static_cast<double>(required_hours),
                  static_cast<double>(duration_seconds) / 3600.0);
    return text;
}

std::string InpFileHint(const std::filesystem::path& inp_file) {
    // The start of the file tells: EPANET reads its lines up to LF.
    constexpr std::size_t kBytesLooked = 64 * 1024;
    std::ifstream file(inp_file, std::ios::binary);
    std::string start(kBytesLooked, '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    if (start.starts_with("\xEF\xBB\xBF")) {
        return "Hint: the file starts with a UTF-8 byte-order mark, which EPANET reads as part of "
               "its first line; save it without one (UTF-8 without BOM, or ANSI)";
    }
    if (start.find('\r') != std::string::npos && start.find('\n') == std::string::npos) {
        return "Hint: the lines of the file end in CR alone, which EPANET does not take for line "
               "ends; save it with CR LF or LF line ends";
    }
    return {};
}

std::string ReportFileFailure(const std::string& report_file, int code) {
    return "The report file " + files::PrintableText(report_file) + " cannot be written (Error " +
           std::to_string(code) + ": " + std::string(toolkit::error_message(code)) + ")";
}

}  // namespace hydrosk::analysis::messages
