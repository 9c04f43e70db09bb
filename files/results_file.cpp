#include "files/results_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "files/file_error.h"
#include "files/printable_text.h"
#include "files/record_layout.h"

namespace hydrosk::files {
namespace {

std::vector<ReadField> FieldsOf(std::string_view line) {
    FieldReader reader{std::string(line)};
    std::vector<ReadField> fields;
    while (auto field = reader.Next()) fields.push_back(std::move(*field));
    return fields;
}

[[noreturn]] void Refuse(std::size_t line, const std::string& problem) {
    throw std::invalid_argument("line " + std::to_string(line) + ": " + problem);
}

ResultsRow ReadRow(const ResultsLayout& layout, const std::vector<ReadField>& fields,
                   std::size_t line) {
    const std::size_t width = layout.columns.size();
    const bool answered_in_words =
        fields.size() > layout.answer_column && fields[layout.answer_column].quoted;
    const std::string_view answer_text =
        answered_in_words ? std::string_view(fields[layout.answer_column].text) : "";
    const bool unsolved =
        layout.unsolved_answer && answered_in_words && answer_text == kUnsolvedText;
    const bool reached = unsolved || (!layout.reached_text.empty() && answered_in_words &&
                                      answer_text == layout.reached_text);
    // A row that reached the end (or has no answer) may stop after that text.
    const bool fits = fields.size() == width ||
                      (reached && fields.size() > layout.answer_column && fields.size() < width);
    if (!fits) {
        Refuse(line, "expected " + std::to_string(width) + " fields, found " +
                         std::to_string(fields.size()));
    }

    ResultsRow row;
    row.cells.resize(width);
    row.outcome = unsolved ? Outcome::Unsolved : reached ? layout.reached_outcome : Outcome::Failed;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        ResultsCell& cell = row.cells[i];
        cell.text = fields[i].text;
        const Quantity quantity = layout.columns[i].quantity;
        if (quantity == Quantity::NodeId || quantity == Quantity::Text ||
            quantity == Quantity::LinkId) {
            continue;
        }
        if (reached && i == layout.answer_column) continue;
        if (layout.empty_fields && fields[i].quoted && fields[i].text.empty()) continue;
        const ReadValue value = UntypedValue(fields[i]);
        if (const double* number = std::get_if<double>(&value)) {
            cell.number = *number;
        } else if (!(reached && i > layout.answer_column)) {
            Refuse(line, '"' + FieldText(cell.text) + "\" is not a number");
        }
    }
    if (layout.verdict_column) {
        const std::string& verdict = row.cells[*layout.verdict_column].text;
        if (layout.verdict_optional && verdict.empty()) return row;
        if (layout.empty_fields && verdict.empty()) Refuse(line, "the result is missing");
        const std::optional<Outcome> outcome = VerdictOutcome(verdict);
        if (!outcome) {
            Refuse(line, "the result \"" + FieldText(verdict) + "\" is neither " +
                             std::string(kPassText) + ", " + std::string(kFailText) + " nor " +
                             std::string(kUnsolvedText));
        }
        if (!layout.verdict_optional) row.outcome = *outcome;
    }
    return row;
}

std::string_view NextLine(std::string_view bytes, std::size_t& position) {
    const std::size_t start = position;
    const std::size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
    position = end;
    if (position < bytes.size() && bytes[position] == '\r') ++position;
    if (position < bytes.size() && bytes[position] == '\n') ++position;
    return bytes.substr(start, end - start);
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

ResultsTable ParseResults(std::string_view bytes) {
    // A byte-order mark that an editor put before the heading.
    std::size_t position = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    std::size_t line_number = 0;
    const ResultsLayout* layout = nullptr;
    ResultsTable table;
    while (position < bytes.size()) {
        const std::string_view line = NextLine(bytes, position);
        ++line_number;
        if (IsBlankLine(line)) continue;
        const std::vector<ReadField> fields = FieldsOf(line);
        if (layout != nullptr) {
            table.rows.push_back(ReadRow(*layout, fields, line_number));
            continue;
        }
        for (const ResultsLayout& candidate : ResultsLayouts()) {
            if (std::equal(fields.begin(), fields.end(), candidate.columns.begin(),
                           candidate.columns.end(), [](const ReadField& f, const ResultsColumn& c) {
                               return f.quoted && f.text == c.name;
                           })) {
                layout = &candidate;
            }
        }
        if (layout == nullptr) Refuse(line_number, "the heading is not one of a results file");
        table.kind = layout->kind;
        table.empty_fields = layout->empty_fields;
        table.columns = layout->columns;
        table.answer_column = layout->answer_column;
        table.partner_column = layout->partner_column;
    }
    if (layout == nullptr) throw std::invalid_argument("the file is empty");
    return table;
}

ResultsTable ReadResultsFile(const std::filesystem::path& file) {
    const std::optional<std::string> bytes = ReadFileIfExists(file);
    if (!bytes) throw FileError(file, "does not exist");
    try {
        return ParseResults(*bytes);
    } catch (const std::invalid_argument& problem) {
        throw FileError(file, std::string("is not a results file of Hydrosk: ") + problem.what());
    }
}

std::string UnitOf(Quantity quantity, const UnitNames& units) {
    switch (quantity) {
        case Quantity::Flow:
            return units.flow;
        case Quantity::Pressure:
            return units.pressure;
        case Quantity::Hours:
            return "hours";
        case Quantity::Velocity: {
            if (units.flow.empty()) return {};
            static const std::array<std::string_view, 5> us{"CFS", "GPM", "MGD", "IMGD", "AFD"};
            const bool us_units = std::find(us.begin(), us.end(), units.flow) != us.end();
            return us_units ? "ft/s" : "m/s";
        }
        case Quantity::NodeId:
        case Quantity::Text:
        case Quantity::LinkId:
            break;
    }
    return {};
}

std::string ShownText(const ResultsTable& table, const ResultsRow& row, std::size_t column) {
    const ResultsCell& cell = row.cells[column];
    if (table.columns[column].quantity != Quantity::Hours || !cell.number) {
        return CutField(cell.text);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", *cell.number);
    return text;
}

std::optional<std::size_t> ResultColumn(const ResultsTable& table) {
    return LayoutOf(table.kind, table.empty_fields).verdict_column;
}

namespace {

// The text of a column when every row has the same one ("1500" for the flow
// of a duration file), else empty.
std::string CommonText(const ResultsTable& table, std::size_t column) {
    if (table.rows.empty()) return {};
    const std::string& first = table.rows.front().cells[column].text;
    for (const ResultsRow& row : table.rows) {
        if (row.cells[column].text != first) return {};
    }
    return first;
}

std::string WithUnit(std::string text, const std::string& unit) {
    if (!unit.empty()) text += ' ' + unit;
    return text;
}

}  // namespace

std::string SummaryLine(const ResultsTable& table, const SummaryContext& context) {
    const ResultsLayout& layout = LayoutOf(table.kind, table.empty_fields);
    std::size_t failed = 0;
    const ResultsRow* lowest = nullptr;
    for (const ResultsRow& row : table.rows) {
        if (IsFailing(row)) ++failed;
        const std::optional<double> answer = table.Answer(row);
        if (answer && (lowest == nullptr || *answer < *table.Answer(*lowest))) lowest = &row;
    }
    const std::size_t held = table.rows.size() - failed;
    const auto count = [&context](std::size_t n) {
        std::ostringstream out;
        out.imbue(context.locale);
        out << n;
        return out.str();
    };
    const std::string below =
        "below " + (context.min_pressure ? WithUnit(*context.min_pressure, context.units.pressure)
                                         : std::string("its minimum"));

    std::string line;
    const std::size_t junction_rows =
        table.rows.size() - std::min(context.rows_outside_network, table.rows.size());
    if (context.check_junctions && junction_rows < *context.check_junctions) {
        line = "Incomplete: " + count(junction_rows) + " of " + count(*context.check_junctions) +
               " junctions. ";
    } else {
        line = count(table.rows.size()) + (table.rows.size() == 1 ? " junction" : " junctions");
        if (table.kind == ResultsKind::DesignFlow) {
            if (const std::string flow = CommonText(table, 1); !flow.empty()) {
                line += " at " + WithUnit(flow, context.units.flow);
            }
        }
        line += ": ";
    }
    const std::string held_text = count(held), failed_text = "; at " + count(failed);
    switch (table.kind) {
        case ResultsKind::SteadyState:
            line += held_text + " reached the maximal flow" + failed_text + " a pressure fell " +
                    below + " before it";
            break;
        case ResultsKind::Duration:
            line += held_text + " supplied the flow to the end of the simulation" + failed_text +
                    " a pressure fell " + below + " first";
            break;
        case ResultsKind::Flow: {
            const std::string time = CommonText(table, 1);
            line +=
                held_text + " reached the maximal flow" +
                (time.empty() ? std::string(" for the required time") : " for " + time + " hours") +
                failed_text + " a pressure fell " + below + " at a lower flow";
            break;
        }
        case ResultsKind::AvailableFlow:
            line += held_text + " can draw the maximal flow, " + count(failed) +
                    " less with every pressure at its minimum or above";
            break;
        case ResultsKind::DesignFlow:
            line += held_text + " passed" + failed_text + " a pressure fell " + below;
            break;
    }
    if (lowest != nullptr) {
        line += ". " + std::string(layout.summary_answer) + ' ' +
                WithUnit(ShownText(table, *lowest, table.answer_column),
                         UnitOf(table.columns[table.answer_column].quantity, context.units));
        if (table.partner_column && table.kind == ResultsKind::DesignFlow) {
            line += " at " + lowest->cells[*table.partner_column].text + " while " +
                    lowest->check_id() + " draws";
        } else {
            line += " at " + lowest->check_id();
        }
    }
    line += '.';
    return line;
}

}  // namespace hydrosk::files
