#include "files/results_schema.h"

#include <algorithm>
#include <stdexcept>

namespace hydrosk::files {

const std::vector<ResultsLayout>& ResultsLayouts() {
    using Q = Quantity;
    static const std::vector<ResultsLayout> layouts{
        {.kind = ResultsKind::SteadyState,
         .columns = {{"Check_Node", Q::NodeId},
                     {"Maximal_Flow", Q::Flow},
                     {"Violating_Node", Q::NodeId},
                     {"Minimal_pressure", Q::Pressure}},
         .answer_column = 1,
         .partner_column = 2,
         .reached_text = kMaximalFlowReachedText,
         .reached_outcome = Outcome::MaximalFlowReached,
         .unsolved_answer = false,
         .verdict_column = std::nullopt,
         .summary_answer = "Lowest failing flow"},
        {.kind = ResultsKind::Duration,
         .columns = {{"Check_Node", Q::NodeId}, {"Flow", Q::Flow}, {"Duration (hours)", Q::Hours}},
         .answer_column = 2,
         .partner_column = std::nullopt,
         .reached_text = kEndOfSimulationReachedText,
         .reached_outcome = Outcome::EndOfSimulationReached,
         .unsolved_answer = false,
         .verdict_column = std::nullopt,
         .summary_answer = "Shortest duration"},
        {.kind = ResultsKind::Flow,
         .columns = {{"Check_Node", Q::NodeId}, {"Duration (hours)", Q::Hours}, {"Flow", Q::Flow}},
         .answer_column = 2,
         .partner_column = std::nullopt,
         .reached_text = kMaximalFlowReachedText,
         .reached_outcome = Outcome::MaximalFlowReached,
         .unsolved_answer = false,
         .verdict_column = std::nullopt,
         .summary_answer = "Lowest flow"},
        {.kind = ResultsKind::AvailableFlow,
         .columns = {{"Check_Node", Q::NodeId},
                     {"Available_Flow", Q::Flow},
                     {"Limiting_Node", Q::NodeId},
                     {"Limiting_Pressure", Q::Pressure},
                     {"Check_Pressure", Q::Pressure}},
         .answer_column = 1,
         .partner_column = 2,
         .reached_text = kMaximalFlowReachedText,
         .reached_outcome = Outcome::MaximalFlowReached,
         .unsolved_answer = true,
         .verdict_column = std::nullopt,
         .summary_answer = "Lowest available flow"},
        {.kind = ResultsKind::DesignFlow,
         .columns = {{"Check_Node", Q::NodeId},
                     {"Fire_Flow", Q::Flow},
                     {"Check_Pressure", Q::Pressure},
                     {"Lowest_Node", Q::NodeId},
                     {"Lowest_Pressure", Q::Pressure},
                     {"Result", Q::Text}},
         .answer_column = 4,
         .partner_column = 3,
         .reached_text = {},
         .reached_outcome = Outcome::Passed,
         .unsolved_answer = false,
         .verdict_column = 5,
         .summary_answer = "Lowest residual pressure"},
        {.kind = ResultsKind::AvailableFlow,
         .columns = {{"Check_Node", Q::NodeId},
                     {"Available_Flow", Q::Flow},
                     {"Limiting_Node", Q::NodeId},
                     {"Limiting_Pressure", Q::Pressure},
                     {"Check_Pressure", Q::Pressure},
                     {"Limiting_Pipe", Q::LinkId},
                     {"Limiting_Velocity", Q::Velocity},
                     {"Required_Flow", Q::Flow},
                     {"Result", Q::Text}},
         .answer_column = 1,
         .partner_column = 2,
         .reached_text = kMaximalFlowReachedText,
         .reached_outcome = Outcome::MaximalFlowReached,
         .unsolved_answer = true,
         // "Result" compares the available flow with the required one, empty without one;
         // the row's outcome is that of its answer, as in the five columns.
         .verdict_column = 8,
         .verdict_optional = true,
         .summary_answer = "Lowest available flow",
         .empty_fields = true},
        {.kind = ResultsKind::DesignFlow,
         .columns = {{"Check_Node", Q::NodeId},
                     {"Fire_Flow", Q::Flow},
                     {"Check_Pressure", Q::Pressure},
                     {"Lowest_Node", Q::NodeId},
                     {"Lowest_Pressure", Q::Pressure},
                     {"Fastest_Pipe", Q::LinkId},
                     {"Fastest_Velocity", Q::Velocity},
                     {"Result", Q::Text}},
         .answer_column = 4,
         .partner_column = 3,
         .reached_text = {},
         .reached_outcome = Outcome::Passed,
         .unsolved_answer = false,
         .verdict_column = 7,
         .summary_answer = "Lowest residual pressure",
         .empty_fields = true},
    };
    return layouts;
}

const ResultsLayout& LayoutOf(ResultsKind kind, bool empty_fields) {
    const auto& layouts = ResultsLayouts();
    const auto found = std::find_if(
        layouts.begin(), layouts.end(), [kind, empty_fields](const ResultsLayout& layout) {
            return layout.kind == kind && layout.empty_fields == empty_fields;
        });
    if (found == layouts.end()) throw std::logic_error("a results kind without its layout");
    return *found;
}

Record HeaderRecord(ResultsKind kind, bool empty_fields) {
    Record header;
    for (const ResultsColumn& column : LayoutOf(kind, empty_fields).columns) {
        header.emplace_back(column.name);
    }
    return header;
}

std::string_view VerdictText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Passed:
            return kPassText;
        case Outcome::Failed:
            return kFailText;
        default:
            return kUnsolvedText;
    }
}

std::optional<Outcome> VerdictOutcome(std::string_view text) {
    if (text == kPassText) return Outcome::Passed;
    if (text == kFailText) return Outcome::Failed;
    if (text == kUnsolvedText) return Outcome::Unsolved;
    return std::nullopt;
}

std::string_view OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Failed:
            return "Failed";
        case Outcome::Passed:
            return "Passed";
        case Outcome::MaximalFlowReached:
            return kMaximalFlowReachedText;
        case Outcome::EndOfSimulationReached:
            return kEndOfSimulationReachedText;
        case Outcome::Unsolved:
            return kUnsolvedText;
    }
    return {};
}

}  // namespace hydrosk::files
