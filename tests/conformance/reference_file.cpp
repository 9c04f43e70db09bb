#include "reference_file.h"

#include <charconv>
#include <fstream>
#include <system_error>

namespace hydrosk::conformance {
namespace {

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = line.find(' ', start);
        const std::size_t stop = end == std::string_view::npos ? line.size() : end;
        if (stop > start) fields.push_back(line.substr(start, stop - start));
        start = stop + 1;
    }
    return fields;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses the records of one file, keeping the line number for messages.
class Parser {
public:
    NetworkReference run(std::istream& in) {
        std::string line;
        bool done = false;
        while (std::getline(in, line)) {
            ++line_number_;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            if (done) fail("text after the `done` record");
            fields_ = split_fields(line);
            done = record();
        }
        if (line_number_ == 0) throw ReferenceFormatError("empty reference file");
        if (!done) throw ReferenceFormatError("reference file cut off: no `done` record");
        return std::move(ref_);
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ReferenceFormatError("line " + std::to_string(line_number_) + ": " + what);
    }

    void expect_fields(std::size_t count) const {
        if (fields_.size() != count) {
            fail("`" + std::string(fields_[0]) + "` needs " + std::to_string(count - 1) +
                 " values, has " + std::to_string(fields_.size() - 1));
        }
    }

    template <typename T>
    T number(std::size_t position) const {
        const std::string_view text = fields_.at(position);
        T value{};
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size()) {
            fail("not a number: `" + std::string(text) + "`");
        }
        return value;
    }

    std::string id(std::size_t position) const {
        try {
            return decode_hex(fields_.at(position));
        } catch (const ReferenceFormatError& error) {
            fail(error.what());
        }
    }

    // Index fields must count 1, 2, 3 ... in file order.
    void expect_index(std::size_t next) const {
        if (number<std::size_t>(1) != next)
            fail("index out of order, expected " + std::to_string(next));
    }

    std::vector<double> pressures() const {
        std::vector<double> values;
        values.reserve(fields_.size() - 1);
        for (std::size_t k = 1; k < fields_.size(); ++k) values.push_back(number<double>(k));
        if (values.size() != ref_.nodes.size()) {
            fail(std::to_string(values.size()) + " pressures for " +
                 std::to_string(ref_.nodes.size()) + " nodes");
        }
        return values;
    }

    ReferenceStep& last_step() {
        if (ref_.steps.empty()) fail("`" + std::string(fields_[0]) + "` before any `step`");
        return ref_.steps.back();
    }

    // Returns true on the closing `done` record.
    bool record() {
        const std::string_view kind = fields_[0];
        if (line_number_ == 1) {
            if (kind != "oracle") fail("the first record must be `oracle`");
            return false;
        }
        if (kind == "network") {
            expect_fields(2);
            ref_.network = std::string(fields_[1]);
        } else if (kind == "open") {
            expect_fields(2);
            ref_.open_code = number<int>(1);
        } else if (kind == "error") {
            expect_fields(2);
            if (number<int>(1) != ref_.open_code) fail("`error` differs from the open code");
        } else if (kind == "rpterror") {
            expect_fields(2);
            ref_.report_errors.push_back(number<int>(1));
        } else if (kind == "flowunits") {
            expect_fields(2);
            ref_.flow_units = number<int>(1);
        } else if (kind == "counts") {
            expect_fields(count_kinds + 1);
            for (std::size_t k = 0; k < count_kinds; ++k) ref_.counts[k] = number<int>(k + 1);
        } else if (kind == "times") {
            expect_fields(ref_.times.size() + 1);
            for (std::size_t k = 0; k < ref_.times.size(); ++k) ref_.times[k] = number<long>(k + 1);
        } else if (kind == "node") {
            expect_fields(4);
            expect_index(ref_.nodes.size() + 1);
            ref_.nodes.push_back({number<int>(2), id(3)});
        } else if (kind == "link") {
            expect_fields(6);
            expect_index(ref_.links.size() + 1);
            ref_.links.push_back({number<int>(2), number<int>(3), number<int>(4), id(5)});
        } else if (kind == "pattern") {
            expect_fields(3);
            expect_index(ref_.patterns.size() + 1);
            ref_.patterns.push_back(id(2));
        } else if (kind == "demand") {
            expect_fields(4);
            ref_.demands.push_back({number<int>(1), number<double>(2), number<int>(3)});
        } else if (kind == "openH") {
            expect_fields(2);
            ref_.open_h_code = number<int>(1);
        } else if (kind == "initH") {
            expect_fields(3);
            ref_.init_h_code = number<int>(2);
        } else if (kind == "step") {
            expect_fields(3);
            ref_.steps.push_back({number<long>(1), number<int>(2), {}, std::nullopt, 0});
        } else if (kind == "p") {
            last_step().pressures = pressures();
        } else if (kind == "next") {
            expect_fields(3);
            ReferenceStep& step = last_step();
            step.next = number<long>(1);
            step.next_code = number<int>(2);
        } else if (kind == "capped") {
            ref_.capped = true;
        } else if (kind == "end") {
            expect_fields(3);
            ref_.close_h_code = number<int>(2);
        } else if (kind == "solveH") {
            expect_fields(2);
            ref_.solve_h_code = number<int>(1);
        } else if (kind == "sp") {
            if (!ref_.solve_h_code) fail("`sp` before `solveH`");
            ref_.solve_h_pressures = pressures();
        } else if (kind == "done") {
            check_complete();
            return true;
        } else {
            fail("unknown record `" + std::string(kind) + "`");
        }
        return false;
    }

    void check_complete() const {
        if (ref_.network.empty()) fail("no `network` record");
        if (ref_.refused()) return;
        if (static_cast<int>(ref_.nodes.size()) != ref_.count(CountKind::nodes) ||
            static_cast<int>(ref_.links.size()) != ref_.count(CountKind::links) ||
            static_cast<int>(ref_.patterns.size()) != ref_.count(CountKind::patterns)) {
            fail("the node, link or pattern records do not match `counts`");
        }
    }

    NetworkReference ref_;
    std::vector<std::string_view> fields_;
    int line_number_ = 0;
};

}  // namespace

NetworkReference parse_reference(std::istream& in) {
    return Parser().run(in);
}

NetworkReference read_reference(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ReferenceFormatError("cannot open " + file.string());
    try {
        return parse_reference(in);
    } catch (const ReferenceFormatError& error) {
        throw ReferenceFormatError(file.string() + ": " + error.what());
    }
}

std::string decode_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) throw ReferenceFormatError("odd number of hex digits in an ID");
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t k = 0; k < hex.size(); k += 2) {
        const int high = hex_digit(hex[k]);
        const int low = hex_digit(hex[k + 1]);
        if (high < 0 || low < 0) throw ReferenceFormatError("not a hex ID: " + std::string(hex));
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

std::string encode_hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

}  // namespace hydrosk::conformance
