// Number options of the commands: read with a period as the decimal separator whatever the
// locale, refused at parsing (exit status 2) with the option and the text named.
#pragma once

#include <CLI/CLI.hpp>
#include <charconv>
#include <functional>
#include <locale>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>

#include "files/number_text.h"

namespace hydrosk::cli {

// The C-format reading of a number option, in single or double precision.
template <typename Number>
std::optional<Number> ClassicNumber(const std::string& text) {
    if constexpr (std::is_same_v<Number, double>) {
        return files::ParseLocaleDouble(text, std::locale::classic());
    } else {
        return files::ParseLocaleNumber(text, std::locale::classic());
    }
}

// A number option: the whole text, blanks around it aside, read with a period as the decimal
// separator whatever the locale ("1.5", "-2", "1e3"); "1,5", "1.500,0" or "20 psi" are refused
// with the option and the text named.
// A number below the sign's bound is refused too.
enum class Sign { Any, NotNegative, Positive };
template <typename Number = float>
CLI::Option* AddNumber(CLI::App& command, const std::string& name,
                       std::function<void(Number)> store, const std::string& description,
                       Sign sign = Sign::Any) {
    const CLI::Validator classic_number(
        [sign](std::string& text) -> std::string {
            if (const auto number = ClassicNumber<Number>(text)) {
                if (sign == Sign::Positive && !(*number > 0)) {
                    return "\"" + text + "\" is not greater than 0";
                }
                if (sign == Sign::NotNegative && *number < 0) return "\"" + text + "\" is negative";
                return {};
            }
            if (files::ParseFieldNumber(text)) return "\"" + text + "\" is out of range";
            return "\"" + text + "\" is not a number";
        },
        "NUMBER");
    return command
        .add_option_function<std::string>(
            name,
            [store = std::move(store)](const std::string& text) {
                store(*ClassicNumber<Number>(text));
            },
            description)
        ->check(classic_number)
        ->option_text("NUMBER");
}

inline CLI::Option* AddNumber(CLI::App& command, const std::string& name, float& value,
                              const std::string& description, Sign sign = Sign::Any) {
    return AddNumber<float>(
               command, name, [&value](float number) { value = number; }, description, sign)
        ->default_str(files::FormatSingle(value));
}

// A count such as --threads: a whole number of at least 1.
inline const CLI::Validator kWholeNumberAtLeastOne(
    [](std::string& text) -> std::string {
        int count = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, count);
        if (error != std::errc() || stop != end || count < 1) return "a whole number of at least 1";
        return {};
    },
    "N");

}  // namespace hydrosk::cli
