// The colours a results table is judged by, on the map and beside each row's
// check ID: the verdict where the file judges its rows (Pass green, Fail red),
// otherwise the answer on the sequential scale from the lowest to the highest
// answer, with the colour of "Maximal flow was reached" (or "End of simulation
// was reached") and a neutral colour for rows without a result. The results
// window judges a file read whole; the study window judges the rows of a run
// as they arrive, again with each batch since the scale's ends move.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "files/results_file.h"
#include "ui/map_legend.h"

namespace hydrosk::ui {

struct JudgedRows {
    std::vector<std::uint8_t> entries;  // a ColourScale palette entry per row
    MapLegend legend;                   // its swatches and scale ends; no title, no symbols
};

// The column the rows are judged by: "Result" where the kind has one, else the answer.
inline std::size_t JudgedColumn(const files::ResultsTable& table) {
    return files::ResultColumn(table).value_or(table.answer_column);
}

// The legend's title is left to the caller (the judged column's heading with its unit).
JudgedRows JudgeRows(const files::ResultsTable& table);

}  // namespace hydrosk::ui
