// Low-level reading of INP text the way EPANET 2.2 reads it: lines of at most
// 1023 bytes (longer lines are split), tokens separated by blanks, tabs, CR and
// LF, comments after ';', quoted tokens, case-insensitive keyword prefixes and
// C-library number parsing. EPANET's quirks are reproduced where they change
// what a file means (see Tokenizer).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "toolkit/stop_request.h"

namespace hydrosk::toolkit::inp {

inline constexpr std::size_t kMaxLine = 1024;  // EPANET reads at most kMaxLine - 1 bytes at once
inline constexpr int kMaxTokens = 40;          // tokens kept per line
inline constexpr std::size_t kMaxId = 31;      // longest ID
inline constexpr std::size_t kMaxMsg = 255;    // longest comment kept

// One piece of input as EPANET's line reader returns it.
struct Line {
    std::string_view raw;   // the bytes read, line end included, possibly with NULs
    std::string_view text;  // raw up to its first NUL: what EPANET works on
    long number = 0;        // 1-based physical line number
};

// Splits text into EPANET lines: up to and including '\n', or kMaxLine - 1
// bytes when the line is longer (the rest comes as further pieces with the
// same line number).
// `stop` is looked at every few thousand pieces: SolveStopped once it is set.
class LineSource {
public:
    explicit LineSource(std::string_view text, StopRequest stop = nullptr)
        : text_(text), stop_(stop) {}
    bool next(Line& line);

    static constexpr int kPiecesBetweenStopChecks = 4096;

private:
    std::string_view text_;
    StopRequest stop_;
    std::size_t pos_ = 0;
    long number_ = 1;
    int until_stop_check_ = kPiecesBetweenStopChecks;
};

// True when `text`, after leading blanks, starts with `keyword`, letters
// compared without case (ASCII only). An empty keyword never matches.
bool match(std::string_view text, std::string_view keyword);

// First token of a line as the counting pass sees it (no comment or quote
// handling).
std::string_view first_token(std::string_view text);

// EPANET's number check: strtod in the C locale, accepted when it stops at the
// end of the token or at a byte >= 0x80. An empty token reads as 0. A value
// that is not finite (nan, inf, or a literal beyond the range of a double) is
// refused as well, although EPANET takes it: no hydraulic solution can come of
// it, so the line gets the code EPANET gives a field that is not a number.
bool to_number(std::string_view token, double& value);
// Whether EPANET's check would take the token as a number, finite or not; for
// the lines whose layout depends on it.
bool is_number_text(std::string_view token);
// C atof: the value of the longest leading number, 0 when there is none.
double leading_number(std::string_view token);
// C atol of EPANET's reference build: leading integer, 0 when none; saturates
// like strtol with a 32-bit long.
long to_long(std::string_view token);
// A double converted to an integer as EPANET 2.2's reference build
// (WebAssembly) converts it, where long is 32 bits like int: toward zero, with
// saturation (beyond the range gives its nearest end, NaN gives 0), so that odd
// input never is undefined behaviour. Seconds are such longs.
long to_long_trunc(double value);
int to_int_trunc(double value);

// The tokens of one line, kept exactly like EPANET keeps them: in a persistent
// working copy of the line, which its WebAssembly build places right before
// the buffer that holds the line as read. EPANET's tokenizer miscounts the
// remaining length after a quoted token: a quoted token without blanks inside
// can hide the last character(s) of the line, and one with blanks inside makes
// it read on into what earlier, longer lines left in the working copy and from
// there into the line as read, cutting that line with the NULs it writes. All
// of this is reproduced (both buffers start zeroed; EPANET would read on past
// them, this stops at their end). Functions that EPANET lets modify a token in
// place (strtok in time parsing, a strcpy in [OPTIONS] QUALITY TRACE) do so
// here.
class Tokenizer {
public:
    // Takes one piece of input as read (at most kMaxLine - 1 bytes, NULs
    // included) and tokenizes it.
    void tokenize(std::string_view raw);
    int count() const { return count_; }
    // Token i as it now reads; "" when i is past the last token (EPANET would
    // follow a null pointer there; its WebAssembly build reads an empty string).
    std::string_view operator[](int i) const;
    const std::string& comment() const { return comment_; }
    // True when the last line's scan ran past its end into leftover bytes
    // (what EPANET finds there depends on its memory's history).
    bool overran() const { return overran_; }
    // The line as read, up to its first NUL, as EPANET now sees it (the
    // tokenizer may have cut it).
    std::string_view line() const;

    // EPANET's hour(): parses token i as decimal hours, h:m:s, or with units
    // (SEC, MIN, HOU, DAY, AM, PM) given by `units`; -1 when invalid. Leaves
    // token i cut at its first ':' as strtok does.
    double hours(int i, std::string_view units);
    // The same for text that is not a token.
    static double hours_of(std::string_view time, std::string_view units);
    // strcpy of token `from` over token `to`, byte by byte (may overlap).
    void copy_token(int to, int from);
    void clear_token(int i);

private:
    static constexpr std::size_t kWork = 0;             // working copy
    static constexpr std::size_t kRead = kMaxLine + 1;  // line as read
    char at(std::size_t i) const { return i < memory_.size() ? memory_[i] : '\0'; }
    void put(std::size_t i, char c) {
        if (i < memory_.size()) memory_[i] = c;
    }
    std::size_t span_until(std::size_t from, std::string_view stops) const;
    std::string_view c_string(std::size_t from) const;

    std::array<char, 2 * (kMaxLine + 1)> memory_{};
    std::array<std::size_t, kMaxTokens> start_{};
    int count_ = 0;
    bool overran_ = false;
    std::string comment_;
};

}  // namespace hydrosk::toolkit::inp
