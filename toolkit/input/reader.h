// The INP reader: reads an EPANET 2.2 input file into a Network with EPANET's
// outcome — the same element order, the same error codes for the same lines,
// the same values in internal units — and the error lines EPANET writes to its
// report file.
#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/network.h"
#include "toolkit/stop_request.h"

namespace hydrosk::toolkit {

// One input error, in the order EPANET reports it.
struct InputError {
    // EPANET's code for the line (201 syntax, 202 number, 203 node, ...). For a
    // [RULES] clause it is the rule's own code (201, 202, 203, 204, 207, 221);
    // 200 for a line EPANET rejects without its own message.
    int code = 0;
    // 1-based line number in the file; 0 for errors found after reading (tank
    // levels 225, unconnected node 233, pump curves 226/227).
    long line = 0;
    std::string section;  // "[PIPES]" etc.; empty when line is 0
    // The line as read, without its line end; the element ID when line is 0.
    std::string text;
    std::string token;  // the token EPANET names in its message (may be empty)
    // What EPANET writes to the report for this error, one entry per report
    // line (each is written as "\n  " + entry; an echoed input line keeps its
    // own line end, as in EPANET). Empty for an error EPANET does not report.
    std::vector<std::string> report_lines;
    // [REPORT] PAGE and the first title line in effect when EPANET wrote
    // these lines (for its page breaks).
    int page_size = 0;
    std::string page_title;
};

struct InputResult {
    // 0; 200 when any input error was found; 223, 224 or 252 found while
    // counting (before any line is read for data); 302 when the file cannot be
    // opened.
    int code = 0;
    // The network; set only when code is 0.
    std::shared_ptr<Network> network;
    std::vector<InputError> errors;
    // Notes about input that EPANET 2.2 itself would read unpredictably.
    std::vector<std::string> warnings;
    // [REPORT] MESSAGES NO: EPANET then leaves out the final "Error <code>"
    // line of the report.
    bool report_messages = true;
    int report_page_size = 0;  // [REPORT] PAGE at the end of reading
    std::string report_title;  // first [TITLE] line at the end of reading
};

// Where a report stands, as EPANET counts for its page breaks: lines on the
// current page (2 for the page heading, then one per line written) and the
// page number. After EPANET's logo the count is 9 on page 1.
struct ReportPage {
    long line = 9;
    int page = 1;
};

// Reads an INP file (code 302 when it cannot be opened or is not a regular
// file). Throws std::bad_alloc when memory runs out, and SolveStopped once
// `stop` is set (looked at every few thousand lines).
InputResult read_inp_file(const std::filesystem::path& path, StopRequest stop = nullptr);
// Reads INP text already in memory, bytes as in the file.
InputResult read_inp_text(std::string_view text, StopRequest stop = nullptr);

// The report lines EPANET writes while opening this input: every error's
// report_lines, then "Error <code>: <message>" when code is not 0 (and
// [REPORT] MESSAGES is not NO). Each entry is written as "\n  " + entry.
std::vector<std::string> input_report_lines(const InputResult& result);
// Writes input_report_lines as EPANET does, each as "\n  " + line, with
// EPANET's page breaks when [REPORT] PAGE is set ("\n\f\n  Page <n>    " and
// the first title line right-aligned in 60 columns, then "\n"); `page` is
// where the report stands before and after.
void write_input_report(std::ostream& report, const InputResult& result, ReportPage& page);
// The same for a report that holds only EPANET's logo so far.
void write_input_report(std::ostream& report, const InputResult& result);

}  // namespace hydrosk::toolkit
