#include "ui/judged_results.h"

#include <algorithm>
#include <optional>

#include "ui/colour_scale.h"
#include "ui/window_services.h"

namespace hydrosk::ui {
JudgedRows JudgeRows(const files::ResultsTable& table) {
    JudgedRows judged;
    const std::optional<std::size_t> resultColumn = files::ResultColumn(table);
    // A row's verdict: Pass or Fail (Unsolved for neither) where its Result column holds one;
    // a row without a requirement is judged by its answer on the scale.
    const auto verdictOf = [&](const files::ResultsRow& row) -> std::optional<files::Outcome> {
        if (!resultColumn) return std::nullopt;
        return files::VerdictOutcome(row.cells[*resultColumn].text);
    };
    bool anyVerdict =
        resultColumn && !files::LayoutOf(table.kind, table.empty_fields).verdict_optional;
    std::optional<double> low, high;
    const files::ResultsRow* lowRow = nullptr;
    const files::ResultsRow* highRow = nullptr;
    for (const files::ResultsRow& row : table.rows) {
        if (verdictOf(row)) {
            anyVerdict = true;
            continue;
        }
        if (const std::optional<double> answer = table.Answer(row)) {
            if (!low || *answer < *low) lowRow = &row;
            if (!high || *answer > *high) highRow = &row;
            low = std::min(low.value_or(*answer), *answer);
            high = std::max(high.value_or(*answer), *answer);
        }
    }
    const ColourScale scale(low.value_or(0), high.value_or(0));
    judged.entries.reserve(table.rows.size());
    for (const files::ResultsRow& row : table.rows) {
        if (const std::optional<files::Outcome> verdict = verdictOf(row)) {
            judged.entries.push_back(*verdict == files::Outcome::Passed   ? ColourScale::kPass
                                     : *verdict == files::Outcome::Failed ? ColourScale::kFail
                                                                          : ColourScale::kNeutral);
        } else {
            const std::optional<double> answer = table.Answer(row);
            // Without an answer: the maximal flow or the end of the simulation was reached,
            // or there is no result (an unsolved trial).
            const bool reached = row.outcome == files::Outcome::MaximalFlowReached ||
                                 row.outcome == files::Outcome::EndOfSimulationReached;
            judged.entries.push_back(answer    ? scale.entryOf(*answer)
                                     : reached ? ColourScale::kReached
                                               : ColourScale::kNeutral);
        }
    }

    MapLegend& legend = judged.legend;
    if (anyVerdict) {
        legend.swatches = {{ColourScale::colourOf(ColourScale::kPass),
                            DisplayText(files::VerdictText(files::Outcome::Passed))},
                           {ColourScale::colourOf(ColourScale::kFail),
                            DisplayText(files::VerdictText(files::Outcome::Failed))}};
    }
    if (!anyVerdict || lowRow != nullptr) {
        if (lowRow != nullptr) {
            legend.scaleEnds = {
                DisplayText(files::ShownText(table, *lowRow, table.answer_column)),
                DisplayText(files::ShownText(table, *highRow, table.answer_column))};
        }
        if (const QString reached = DisplayText(files::LayoutOf(table.kind).reached_text);
            !reached.isEmpty()) {
            legend.swatches.push_back({ColourScale::colourOf(ColourScale::kReached), reached});
        }
    }
    legend.swatches.push_back(
        {ColourScale::colourOf(ColourScale::kNeutral), QStringLiteral("No result")});
    return judged;
}

}  // namespace hydrosk::ui
