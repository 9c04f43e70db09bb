// The results files the searches write, described once: for each kind its heading (the
// header record), what each column holds, where a row's answer stands and the fixed texts a
// row holds in place of a number. The searches write their header records from here, the
// reader tells the kinds apart by them, and the exports and windows take their column names
// and texts from here; another kind of results file is another entry of ResultsLayouts().
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/record_layout.h"

namespace hydrosk::files {

enum class ResultsKind { SteadyState, Duration, Flow, AvailableFlow, DesignFlow };

// What a column holds, and so which unit its values are in.
enum class Quantity {
    NodeId,    // a junction ID
    Flow,      // the network's flow units
    Pressure,  // the network's pressure units
    Hours,     // simulation time, already named in the heading
    Text,      // a verdict: "Pass", "Fail" or "Unsolved"
    LinkId,    // a pipe ID
    Velocity,  // ft/s (US flow units) or m/s (SI)
};

struct ResultsColumn {
    std::string name;  // the heading as written in the file
    Quantity quantity = Quantity::Text;
};

// The fixed texts that rows hold in place of a number.
inline constexpr std::string_view kMaximalFlowReachedText = "Maximal flow was reached";
inline constexpr std::string_view kEndOfSimulationReachedText = "End of simulation was reached";
// An available flow or a design check resting on a solve that failed or did not converge.
inline constexpr std::string_view kUnsolvedText = "Unsolved";
// The verdicts of a design check.
inline constexpr std::string_view kPassText = "Pass";
inline constexpr std::string_view kFailText = "Fail";

// What a row says about its check junction.
enum class Outcome {
    Failed,                  // some pressure fell below its minimum first
    MaximalFlowReached,      // "Maximal flow was reached"
    EndOfSimulationReached,  // "End of simulation was reached"
    Passed,                  // design flow: every pressure held
    Unsolved,                // "Unsolved": no answer, a solve failed or did not converge
};

// One kind of results file.
struct ResultsLayout {
    ResultsKind kind;
    std::vector<ResultsColumn> columns;  // the header record, in order
    // The column whose numbers are the row's answer (and colour the map): the failing flow,
    // the duration, the flow, the available flow, or for design flows the lowest pressure.
    std::size_t answer_column;
    // The junction a row names besides its check junction (violating, limiting or lowest).
    std::optional<std::size_t> partner_column;
    // The text a row holds at its answer column when nothing failed up to the end (such a row
    // may stop after it), and the outcome it stands for; empty when the verdict column decides.
    std::string_view reached_text;
    Outcome reached_outcome;
    // Whether a row may hold kUnsolvedText at its answer column, and stop after it.
    bool unsolved_answer;
    // The column of the verdict (kPassText, kFailText or kUnsolvedText), for the kinds that
    // judge their rows.
    std::optional<std::size_t> verdict_column;
    // Whether the verdict may be empty (a junction without a requirement); the row's outcome is
    // then that of its answer, the verdict judging the row alone.
    bool verdict_optional = false;
    // Names the lowest answer in a summary ("Lowest failing flow").
    std::string_view summary_answer;
    // The layouts of a fire-flow study's available-flow and design-flow searches (a demand
    // time, a fire duration, a fire demand added, a velocity limit or required flows): every
    // row has every column, and a field that does not apply is an empty text.
    bool empty_fields = false;
};

// Every layout; the reader tries their headings in this order.
const std::vector<ResultsLayout>& ResultsLayouts();
// The layout of a kind, or of its study (the layout with empty fields); every kind has one,
// the available and design flows a study layout as well.
const ResultsLayout& LayoutOf(ResultsKind kind, bool empty_fields = false);

// The header record of a layout: its column names as text fields.
Record HeaderRecord(ResultsKind kind, bool empty_fields = false);

// The verdict text of a design check's outcome (Passed, Failed or Unsolved).
std::string_view VerdictText(Outcome outcome);
// The outcome a verdict text stands for; nullopt for any other text.
std::optional<Outcome> VerdictOutcome(std::string_view text);

// The name of an outcome where an export gives it in words: "Failed", "Passed", or the row's
// own text ("Maximal flow was reached", "End of simulation was reached", "Unsolved").
std::string_view OutcomeText(Outcome outcome);

}  // namespace hydrosk::files
