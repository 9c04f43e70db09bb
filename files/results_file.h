// Reading a results file back: the five kinds of results file the searches
// write (steady state, duration, flow, available flow, design flow), told apart
// by their heading line, with each row's outcome and the answer that the
// results window colours its map by. Numbers keep the text they have in the
// file, so that what is shown and exported is what was written.
#pragma once

#include <filesystem>
#include <locale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/number_text.h"

namespace hydrosk::files {

enum class ResultsKind { SteadyState, Duration, Flow, AvailableFlow, DesignFlow };

// What a column holds, and so which unit its values are in.
enum class Quantity {
    NodeId,    // a junction ID
    Flow,      // the network's flow units
    Pressure,  // the network's pressure units
    Hours,     // simulation time, already named in the heading
    Text,      // "Pass" or "Fail"
};

struct ResultsColumn {
    std::string name;  // the heading as written in the file
    Quantity quantity = Quantity::Text;
};

// One field of a row; an empty text for a column the row does not have
// ("Maximal flow was reached" rows hold two fields).
struct ResultsCell {
    std::string text;              // as in the file, without quotes
    std::optional<double> number;  // set for a bare number
};

// The fixed texts that rows hold in place of a number, written by the searches and read here.
inline constexpr std::string_view kMaximalFlowReachedText = "Maximal flow was reached";
inline constexpr std::string_view kEndOfSimulationReachedText = "End of simulation was reached";
// An available flow or a design check resting on a solve that failed or did not converge.
inline constexpr std::string_view kUnsolvedText = "Unsolved";
inline constexpr std::string_view kPassText = "Pass";  // the design check's results
inline constexpr std::string_view kFailText = "Fail";

// What a row says about its check junction.
enum class Outcome {
    Failed,                  // some pressure fell below its minimum first
    MaximalFlowReached,      // "Maximal flow was reached"
    EndOfSimulationReached,  // "End of simulation was reached"
    Passed,                  // design flow: every pressure held
    Unsolved,                // "Unsolved": no answer, a solve failed or did not converge
};

struct ResultsRow {
    std::vector<ResultsCell> cells;  // one per column
    Outcome outcome = Outcome::Failed;

    const std::string& check_id() const { return cells.front().text; }
};

struct ResultsTable {
    ResultsKind kind = ResultsKind::SteadyState;
    std::vector<ResultsColumn> columns;
    // The column whose numbers colour the map: the failing flow, the duration,
    // the flow, the available flow, or for design flows the lowest pressure.
    std::size_t answer_column = 1;
    // The junction a row names besides its check junction (violating,
    // limiting or lowest), if the kind has one.
    std::optional<std::size_t> partner_column;
    std::vector<ResultsRow> rows;

    // The answer of a row as a number; nullopt for the rows that reached the
    // maximal flow or the end of the simulation.
    std::optional<double> Answer(const ResultsRow& row) const {
        return row.cells[answer_column].number;
    }
};

// Reads a results file; throws FileError naming the file and, for content it
// does not recognise, the line.
ResultsTable ReadResultsFile(const std::filesystem::path& file);
// The same for the bytes of a file; throws std::invalid_argument with the line.
ResultsTable ParseResults(std::string_view bytes);

// True for the rows the "failing only" filter keeps.
inline bool IsFailing(const ResultsRow& row) {
    return row.outcome == Outcome::Failed;
}

// Unit names for the headings and the summary ("GPM", "psi"); empty when the
// network is not known.
struct UnitNames {
    std::string flow;
    std::string pressure;
};

// The unit of a column's values, empty for IDs and texts.
std::string UnitOf(Quantity quantity, const UnitNames& units);

// A cell as the windows show it: hours rounded to 0.01 h ("10.39"), every
// other cell as written in the file (a field longer than a line cut, see CutField).
std::string ShownText(const ResultsTable& table, const ResultsRow& row, std::size_t column);

// The column "Result" ("Pass" or "Fail"), for the kinds that judge their rows.
std::optional<std::size_t> ResultColumn(const ResultsTable& table);

// What the summary line may say besides the file's own rows.
struct SummaryContext {
    UnitNames units;
    // The junctions a complete file has a row for; a file with fewer rows is
    // marked incomplete.
    std::optional<std::size_t> check_junctions;
    // The run's minimal pressure as the user entered it ("20"); without it the
    // summary speaks of each junction's minimum.
    std::optional<std::string> min_pressure;
    // Counts are written with this locale's digit grouping ("50,176").
    std::locale locale = UserLocale();
    // Rows that name no junction of the network or repeat one: they make no file complete.
    std::size_t rows_outside_network = 0;
};

// One line on the whole file in the words of its kind: how many junctions held
// (reached the maximal flow, the end of the simulation, or passed), at how many
// a pressure fell below the minimum first, and the lowest answer with its check
// junction; "Incomplete: 101 of 50,176 junctions" when rows are missing.
std::string SummaryLine(const ResultsTable& table, const SummaryContext& context);

}  // namespace hydrosk::files
