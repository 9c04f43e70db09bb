// Conversions between numbers and text.
//
// Files always carry numbers with a period (FormatSingle, FormatDouble,
// ParseFieldNumber); what the user types and sees follows the user's locale
// (ParseLocaleNumber, FormatUserNumber). LeadingNumberValue takes the number at
// the start of a text, ignoring whatever follows it.
#pragma once

#include <locale>
#include <optional>
#include <string>
#include <string_view>

namespace hydrosk::files {

// At most 7 significant digits, period, no trailing zeros or trailing period,
// a zero before the period (0.5), no thousands separator. Values that would
// need more than 7 integer digits or lie below 0.0001 use exponent form with
// a capital E and a signed two- or three-digit exponent (1E+07, 2.5E-05).
// -0 is written as 0. Throws std::invalid_argument for NaN and infinities,
// which the layout cannot carry.
std::string FormatSingle(float value);

// The same with at most 15 significant digits (exponent form from 1E+15).
std::string FormatDouble(double value);

// A number field of a file: optional sign, digits with at most one period
// (".5" and "5." are accepted), optional exponent (E or e, optional sign,
// digits). Blanks around the text are ignored; anything else, or a value out of
// the range of double, gives nullopt.
std::optional<double> ParseFieldNumber(std::string_view text);

// Blanks (spaces and tabs) removed at both ends.
std::string_view TrimBlanks(std::string_view text);

// The user's locale from the environment (LC_ALL, LC_NUMERIC, LANG). Falls
// back to the classic "C" locale when the environment names a locale that is
// not installed. Never touches the process's global locale.
std::locale UserLocale();

// Trims blanks, then converts the whole text with the decimal separator (and
// digit grouping) of the locale: under de_DE "35,5" gives 35.5. The result is
// rounded to single precision. A text that is empty after trimming, is not a
// number in that locale, or is out of the range of float gives nullopt.
std::optional<float> ParseLocaleNumber(std::string_view text, const std::locale& locale);
std::optional<float> ParseLocaleNumber(std::string_view text);  // user's locale
// The same in double precision (hours of a fire-flow study).
std::optional<double> ParseLocaleDouble(std::string_view text, const std::locale& locale);

// A number for display in the user's number format: the digits of FormatSingle
// (float, 7 significant digits) or FormatDouble (double, 15) with the locale's
// decimal separator, no grouping. Under de_DE 1.5 gives "1,5".
std::string FormatUserNumber(float value, const std::locale& locale);
std::string FormatUserNumber(double value, const std::locale& locale);
std::string FormatUserNumber(float value);   // user's locale
std::string FormatUserNumber(double value);  // user's locale

// The number at the start of a text. Spaces, tabs and line feeds are ignored
// wherever they stand ("1 000" gives 1000). Accepts an optional sign, digits,
// at most one period and an optional exponent (E or e, optional sign, digits);
// reading stops at the first character that cannot continue the number, so
// commas and currency signs end it ("1,5" gives 1, "12abc" gives 12). "&H" and
// "&O" start a hexadecimal or octal whole number ("&H10" gives 16; always
// non-negative). A text without a number at its start gives 0. A value too
// large for double gives an infinity, one too small gives 0.
double LeadingNumberValue(std::string_view text);

}  // namespace hydrosk::files
