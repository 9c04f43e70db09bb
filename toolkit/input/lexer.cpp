#include "toolkit/input/lexer.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace hydrosk::toolkit::inp {

namespace {

constexpr std::string_view kSeparators{" \t\n\r"};

bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// isspace() of the C locale.
bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool starts_with_nocase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (upper(text[at + k]) != upper(word[k])) return false;
    }
    return true;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether the digits in [begin, end) denote a number too large (true) or too
// small to be represented, after from_chars reported it out of range. The
// exponent step is 10 for decimal text and 2 (per hex digit 16) for hex.
bool overflows(std::string_view digits, bool hex) {
    long long scale = 0;  // position of the first significant digit
    bool seen_point = false;
    bool significant = false;
    long long leading = 0;  // digits before the point once significant
    std::size_t k = 0;
    for (; k < digits.size(); ++k) {
        const char c = digits[k];
        if (c == '.') {
            seen_point = true;
            continue;
        }
        if (hex ? !is_hex_digit(c) : !is_digit(c)) break;
        if (!significant && c != '0') significant = true;
        if (significant && !seen_point) ++leading;
        if (!significant && seen_point) --scale;
    }
    long long exponent = 0;
    if (k < digits.size() && (upper(digits[k]) == (hex ? 'P' : 'E'))) {
        std::size_t e = k + 1;
        bool negative = false;
        if (e < digits.size() && (digits[e] == '+' || digits[e] == '-')) {
            negative = digits[e] == '-';
            ++e;
        }
        for (; e < digits.size() && is_digit(digits[e]); ++e) {
            if (exponent < 1000000000) exponent = exponent * 10 + (digits[e] - '0');
        }
        if (negative) exponent = -exponent;
    }
    const long long magnitude = hex ? (leading + scale) * 4 + exponent : leading + scale + exponent;
    return magnitude > 0;
}

}  // namespace

bool LineSource::next(Line& line) {
    if (pos_ >= text_.size()) return false;
    if (--until_stop_check_ == 0) {
        ThrowIfStopRequested(stop_);
        until_stop_check_ = kPiecesBetweenStopChecks;
    }
    if (pos_ > 0 && text_[pos_ - 1] == '\n') ++number_;
    const std::size_t limit = std::min(text_.size(), pos_ + (kMaxLine - 1));
    std::size_t end = pos_;
    while (end < limit) {
        if (text_[end++] == '\n') break;
    }
    line.raw = text_.substr(pos_, end - pos_);
    const std::size_t nul = line.raw.find('\0');
    line.text = nul == std::string_view::npos ? line.raw : line.raw.substr(0, nul);
    line.number = number_;
    pos_ = end;
    return true;
}

bool match(std::string_view text, std::string_view keyword) {
    if (keyword.empty()) return false;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return starts_with_nocase(text, i, keyword);
}

std::string_view first_token(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_separator(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !is_separator(text[j])) ++j;
    return text.substr(i, j - i);
}

namespace {

// strtod in the "C" locale: the value and the index where conversion stopped
// (0 when nothing was converted).
std::size_t parse_number(std::string_view token, double& value) {
    std::size_t i = 0;
    while (i < token.size() && is_c_space(token[i])) ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    std::size_t end = 0;  // 0 = no conversion
    double v = 0.0;
    const std::string_view rest = token.substr(i);
    if (starts_with_nocase(rest, 0, "inf")) {
        v = std::numeric_limits<double>::infinity();
        end = i + (starts_with_nocase(rest, 0, "infinity") ? 8 : 3);
    } else if (starts_with_nocase(rest, 0, "nan")) {
        v = std::numeric_limits<double>::quiet_NaN();
        end = i + 3;
        if (end < token.size() && token[end] == '(') {
            std::size_t k = end + 1;
            while (k < token.size() && (is_digit(token[k]) || token[k] == '_' ||
                                        (upper(token[k]) >= 'A' && upper(token[k]) <= 'Z'))) {
                ++k;
            }
            if (k < token.size() && token[k] == ')') end = k + 1;
        }
    } else if (rest.size() >= 2 && rest[0] == '0' && upper(rest[1]) == 'X' &&
               ((rest.size() > 2 && is_hex_digit(rest[2])) ||
                (rest.size() > 3 && rest[2] == '.' && is_hex_digit(rest[3])))) {
        const std::string_view digits = rest.substr(2);
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v,
                                       std::chars_format::hex);
        end = i + 2 + static_cast<std::size_t>(r.ptr - digits.data());
        if (r.ec == std::errc::result_out_of_range) {
            v = overflows(digits, true) ? std::numeric_limits<double>::infinity() : 0.0;
        }
    } else if (!rest.empty() &&
               (is_digit(rest[0]) || (rest[0] == '.' && rest.size() > 1 && is_digit(rest[1])))) {
        const auto r =
            std::from_chars(rest.data(), rest.data() + rest.size(), v, std::chars_format::general);
        end = i + static_cast<std::size_t>(r.ptr - rest.data());
        if (r.ec == std::errc::result_out_of_range) {
            v = overflows(rest, false) ? std::numeric_limits<double>::infinity() : 0.0;
        }
    }
    value = end == 0 ? 0.0 : (negative ? -v : v);
    return end;
}

}  // namespace

namespace {

// EPANET's check; `value` gets what strtod gives.
bool read_number(std::string_view token, double& value) {
    // A conversion that stops anywhere but at the end (or at a byte >= 0x80,
    // negative as a signed char) fails; with no conversion strtod stops at the
    // token's first byte.
    const std::size_t end = parse_number(token, value);
    if (end >= token.size()) return true;
    return static_cast<unsigned char>(token[end]) >= 0x80;
}

}  // namespace

bool is_number_text(std::string_view token) {
    double value = 0.0;
    return read_number(token, value);
}

bool to_number(std::string_view token, double& value) {
    return read_number(token, value) && std::isfinite(value);
}

double leading_number(std::string_view token) {
    double value = 0.0;
    parse_number(token, value);
    return value;
}

long to_long(std::string_view token) {
    // strtol of EPANET's reference build, whose long has 32 bits.
    constexpr long kLow = std::numeric_limits<std::int32_t>::min();
    constexpr long kHigh = std::numeric_limits<std::int32_t>::max();
    std::size_t i = 0;
    while (i < token.size() && is_c_space(token[i])) ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    long value = 0;  // magnitude, held below kHigh + 2 so that it never overflows
    for (; i < token.size() && is_digit(token[i]); ++i) {
        value = std::min(value * 10 + (token[i] - '0'), kHigh + 2);
    }
    return negative ? std::max(-value, kLow) : std::min(value, kHigh);
}

long to_long_trunc(double value) {
    return to_int_trunc(value);
}

int to_int_trunc(double value) {
    constexpr auto kLow = std::numeric_limits<std::int32_t>::min();
    constexpr auto kHigh = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(kLow)) return kLow;
    if (value >= static_cast<double>(kHigh)) return kHigh;
    return static_cast<int>(value);
}

std::size_t Tokenizer::span_until(std::size_t from, std::string_view stops) const {
    std::size_t k = from;
    while (k < memory_.size()) {
        const char c = memory_[k];
        if (c == '\0' || stops.find(c) != std::string_view::npos) break;
        ++k;
    }
    return k - from;
}

std::string_view Tokenizer::c_string(std::size_t from) const {
    if (from >= memory_.size()) return {};
    std::size_t e = from;
    while (e < memory_.size() && memory_[e] != '\0') ++e;
    return {memory_.data() + from, e - from};
}

void Tokenizer::tokenize(std::string_view raw) {
    // The line as read (NULs and all), then its working copy up to the first NUL.
    const std::size_t n = std::min(raw.size(), kMaxLine - 1);
    for (std::size_t k = 0; k < n; ++k) memory_[kRead + k] = raw[k];
    memory_[kRead + n] = '\0';
    const std::string_view text = c_string(kRead);
    for (std::size_t k = 0; k < text.size(); ++k) memory_[kWork + k] = text[k];
    const std::size_t length = text.size();
    memory_[kWork + length] = '\0';
    count_ = 0;
    overran_ = false;
    comment_.clear();

    // Everything from the first ';' is a comment (up to the line end).
    std::size_t len = length;
    for (std::size_t k = 0; k < length; ++k) {
        if (memory_[kWork + k] != ';') continue;
        const std::size_t c = kWork + k + 1;
        const std::size_t m = std::min(span_until(c, "\n\r"), kMaxMsg);
        comment_.assign(memory_.data() + c, m);
        memory_[kWork + k] = '\0';
        len = k;
        break;
    }

    // EPANET's scan, including its bookkeeping of the remaining length.
    std::size_t s = kWork;
    while (len > 0 && count_ < kMaxTokens && s < memory_.size()) {
        if (s > kWork + length) overran_ = true;
        std::size_t m = span_until(s, kSeparators);
        if (m == len) {
            start_[static_cast<std::size_t>(count_++)] = s;
            break;
        }
        len -= m + 1;  // may wrap around, as EPANET's size_t does
        if (m == 0) {
            ++s;
        } else {
            if (at(s) == '"') {
                ++s;
                m = span_until(s, "\"\n\r");
            }
            put(s + m, '\0');
            start_[static_cast<std::size_t>(count_++)] = s;
            s += m + 1;
        }
    }
}

std::string_view Tokenizer::operator[](int i) const {
    if (i < 0 || i >= count_) return {};
    return c_string(start_[static_cast<std::size_t>(i)]);
}

std::string_view Tokenizer::line() const {
    return c_string(kRead);
}

double Tokenizer::hours_of(std::string_view time, std::string_view units) {
    // Colon-separated parts, empty ones skipped (strtok).
    std::array<double, 3> y{0.0, 0.0, 0.0};
    int n = 0;
    std::size_t k = 0;
    while (n <= 3) {
        while (k < time.size() && time[k] == ':') ++k;
        if (k >= time.size()) break;
        std::size_t e = k;
        while (e < time.size() && time[e] != ':') ++e;
        double part = 0.0;
        if (!to_number(time.substr(k, e - k), part)) return -1.0;
        // EPANET writes a fourth part past its array; it is ignored here.
        if (n < 3) y[static_cast<std::size_t>(n)] = part;
        ++n;
        k = e;
    }
    if (n == 1) {
        if (units.empty()) return y[0];
        if (match(units, "SEC")) return y[0] / 3600.0;
        if (match(units, "MIN")) return y[0] / 60.0;
        if (match(units, "HOU")) return y[0];
        if (match(units, "DAY")) return y[0] * 24.0;
    }
    if (n > 1) y[0] = y[0] + y[1] / 60.0 + y[2] / 3600.0;
    if (units.empty()) return y[0];
    if (match(units, "AM")) {
        if (y[0] >= 13.0) return -1.0;
        if (y[0] >= 12.0) return y[0] - 12.0;
        return y[0];
    }
    if (match(units, "PM")) {
        if (y[0] >= 13.0) return -1.0;
        if (y[0] >= 12.0) return y[0];
        return y[0] + 12.0;
    }
    return -1.0;
}

double Tokenizer::hours(int i, std::string_view units) {
    const std::string time{(*this)[i]};
    const std::string unit_text{units};
    // strtok ends the first part with a NUL in place.
    if (i >= 0 && i < count_) {
        const std::size_t s = start_[static_cast<std::size_t>(i)];
        std::size_t k = 0;
        while (k < time.size() && time[k] == ':') ++k;
        if (k < time.size()) {
            std::size_t e = k;
            while (e < time.size() && time[e] != ':') ++e;
            if (e < time.size()) put(s + e, '\0');
        }
    }
    return hours_of(time, unit_text);
}

void Tokenizer::copy_token(int to, int from) {
    if (to < 0 || to >= count_ || from < 0 || from >= count_) return;
    std::size_t d = start_[static_cast<std::size_t>(to)];
    std::size_t s = start_[static_cast<std::size_t>(from)];
    while (true) {
        const char c = at(s++);
        put(d++, c);
        if (c == '\0' || d >= memory_.size()) break;
    }
}

void Tokenizer::clear_token(int i) {
    if (i < 0 || i >= count_) return;
    put(start_[static_cast<std::size_t>(i)], '\0');
}

}  // namespace hydrosk::toolkit::inp
