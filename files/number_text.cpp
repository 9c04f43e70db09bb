#include "files/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace hydrosk::files {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

template <typename Number>
std::string FormatNumber(Number value, int significant_digits) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument("a number that is not finite cannot be written to a file");
    }
    if (value == 0) {
        return "0";  // also for -0
    }
    // "general" with a precision behaves like printf's %g: no trailing zeros.
    std::array<char, 48> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, significant_digits);
    std::string text(buffer.data(), result.ptr);
    if (const auto e = text.find('e'); e != std::string::npos) {
        text[e] = 'E';
    }
    return text;
}

// Length of the longest prefix of `text` of the form
// [+-] (digits [. digits] | . digits) [(E|e) [+-] digits]; 0 when there is none.
std::size_t NumberPrefixLength(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) ++j;
            i = j;
        }
    }
    return i;
}

// The value of a text that NumberPrefixLength accepted whole, or the signed
// infinity or zero that from_chars refuses as out of range.
double ConvertNumber(std::string_view number, bool& out_of_range) {
    const bool negative = number.front() == '-';
    if (number.front() == '+') number.remove_prefix(1);  // from_chars takes no '+'
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::general);
    out_of_range = result.ec == std::errc::result_out_of_range;
    if (!out_of_range) return value;

    // Decimal magnitude of the first significant digit decides between
    // overflow and underflow; the exponent is capped so that it cannot wrap.
    const auto e = number.find_first_of("Ee");
    const std::string_view mantissa = number.substr(0, e);
    long exponent = 0;
    if (e != std::string_view::npos) {
        std::size_t i = e + 1;
        const bool negative_exponent = number[i] == '-';
        if (number[i] == '+' || number[i] == '-') ++i;
        for (; i < number.size(); ++i) {
            exponent = std::min(exponent * 10 + (number[i] - '0'), 100000L);
        }
        if (negative_exponent) exponent = -exponent;
    }
    const auto point = std::min(mantissa.find('.'), mantissa.size());
    const auto first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return negative ? -0.0 : 0.0;
    const long magnitude =
        static_cast<long>(point) - static_cast<long>(first) + (first < point ? -1 : 0) + exponent;
    const double huge = std::numeric_limits<double>::infinity();
    const double magnitude_value = magnitude > 0 ? huge : 0.0;
    return negative ? -magnitude_value : magnitude_value;
}

double WholeNumberValue(std::string_view digits, int base) {
    double value = 0;
    for (const char c : digits) {
        int digit = base;  // "not a digit"
        if (IsDigit(c)) {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        }
        if (digit >= base) break;
        value = value * base + digit;
    }
    return value;
}

}  // namespace

std::string FormatSingle(float value) {
    return FormatNumber(value, 7);
}

std::string FormatDouble(double value) {
    return FormatNumber(value, 15);
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::optional<double> ParseFieldNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || NumberPrefixLength(text) != text.size()) return std::nullopt;
    bool out_of_range = false;
    const double value = ConvertNumber(text, out_of_range);
    if (out_of_range) return std::nullopt;
    return value;
}

std::locale UserLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

namespace {

template <typename Number>
std::optional<Number> ParseInLocale(std::string_view text, const std::locale& locale) {
    text = TrimBlanks(text);
    if (text.empty()) return std::nullopt;
    std::istringstream in{std::string(text)};
    in.imbue(locale);
    Number value = 0;
    in >> value;
    // Out-of-range values set failbit; leftover characters leave eofbit unset.
    if (in.fail() || !in.eof()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<float> ParseLocaleNumber(std::string_view text, const std::locale& locale) {
    return ParseInLocale<float>(text, locale);
}

std::optional<double> ParseLocaleDouble(std::string_view text, const std::locale& locale) {
    return ParseInLocale<double>(text, locale);
}

std::optional<float> ParseLocaleNumber(std::string_view text) {
    return ParseLocaleNumber(text, UserLocale());
}

namespace {

std::string WithDecimalSeparator(std::string text, const std::locale& locale) {
    const char separator = std::use_facet<std::numpunct<char>>(locale).decimal_point();
    if (const auto point = text.find('.'); point != std::string::npos) {
        text[point] = separator;
    }
    return text;
}

}  // namespace

std::string FormatUserNumber(float value, const std::locale& locale) {
    return WithDecimalSeparator(FormatSingle(value), locale);
}

std::string FormatUserNumber(double value, const std::locale& locale) {
    return WithDecimalSeparator(FormatDouble(value), locale);
}

std::string FormatUserNumber(float value) {
    return FormatUserNumber(value, UserLocale());
}

std::string FormatUserNumber(double value) {
    return FormatUserNumber(value, UserLocale());
}

double LeadingNumberValue(std::string_view text) {
    std::string packed;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') packed.push_back(c);
    }
    if (packed.size() >= 2 && packed[0] == '&') {
        const char kind = packed[1];
        const std::string_view digits = std::string_view(packed).substr(2);
        if (kind == 'H' || kind == 'h') return WholeNumberValue(digits, 16);
        if (kind == 'O' || kind == 'o') return WholeNumberValue(digits, 8);
        return 0;
    }
    const auto length = NumberPrefixLength(packed);
    if (length == 0) return 0;
    bool out_of_range = false;
    return ConvertNumber(std::string_view(packed).substr(0, length), out_of_range);
}

}  // namespace hydrosk::files
