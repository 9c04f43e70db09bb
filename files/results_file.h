// Reading a results file back: the kinds of results file the searches write
// (files/results_schema.h), told apart by their heading line, with each row's outcome and the
// answer that the results window colours its map by. Numbers keep the text they have in the file,
// so that what is shown and exported is what was written.
#pragma once

#include <filesystem>
#include <locale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/number_text.h"
#include "files/results_schema.h"

namespace hydrosk::files {

// One field of a row; an empty text for a column the row does not have
// ("Maximal flow was reached" rows hold two fields).
struct ResultsCell {
    std::string text;              // as in the file, without quotes
    std::optional<double> number;  // set for a bare number
};

struct ResultsRow {
    std::vector<ResultsCell> cells;  // one per column
    Outcome outcome = Outcome::Failed;

    const std::string& check_id() const { return cells.front().text; }
};

struct ResultsTable {
    ResultsKind kind = ResultsKind::SteadyState;
    bool empty_fields = false;  // the kind's study layout (files/results_schema.h)
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

// The unit of a column's values, empty for IDs and texts; velocities are in ft/s with US flow
// units and in m/s with SI ones.
std::string UnitOf(Quantity quantity, const UnitNames& units);

// A cell as the windows show it: hours rounded to 0.01 h ("10.39"), every
// other cell as written in the file (a field longer than a line cut, see CutField).
std::string ShownText(const ResultsTable& table, const ResultsRow& row, std::size_t column);

// The verdict column ("Result"), for the kinds that judge their rows.
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
