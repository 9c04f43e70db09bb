#include "files/printable_text.h"

#include <gtest/gtest.h>

#include <string>

namespace hydrosk::files {
namespace {

TEST(PrintableText, FieldsLongerThanALineAreCutToSixtyCharacters) {
    EXPECT_EQ(FieldText(std::string(60, 'a')), std::string(60, 'a'));
    EXPECT_EQ(FieldText(std::string(61, 'a')), std::string(60, 'a') + "\u2026");
    // Characters, not bytes, and escapes after the cut.
    std::string umlauts;
    for (int i = 0; i < 100; ++i) umlauts += "\u00fc";
    std::string sixty;
    for (int i = 0; i < 60; ++i) sixty += "\u00fc";
    EXPECT_EQ(FieldText(umlauts), sixty + "\u2026");
    EXPECT_EQ(FieldText("\x1b[2J" + std::string(10'000'000, 'x')),
              "\\x1b[2J" + std::string(56, 'x') + "\u2026");
}

TEST(PrintableText, EscapesControlsAndKeepsTheRestOfEachCodePage) {
    const struct {
        std::string bytes;
        std::string shown;
    } cases[] = {
        // clang-format off
        {"J1", "J1"},
        {"a\x1b[2Jb", "a\\x1b[2Jb"},                          // a terminal's clear-screen sequence
        {"tab\there", "tab\there"},
        {"\r\n\x7f", "\\x0d\\x0a\\x7f"},
        {"Z\xc3\xbcrich", "Z\xc3\xbcrich"},                   // UTF-8
        {"\xc2\x9b" "31m", "\\u{009B}31m"},                   // the C1 control sequence introducer
        {"abc\xe2\x80\xae" "fdp.exe", "abc\\u{202E}fdp.exe"}, // right-to-left override
        {"Z\xfcrich", "Z\xfcrich"},                           // Latin-1
        {"\xfc\x9b" "31m", "\xfc\\x9b" "31m"},                // the C1 introducer in Latin-1
        {std::string("a\0b", 3), "a\\x00b"},
        // clang-format on
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableText(c.bytes), c.shown) << c.shown;
}

}  // namespace
}  // namespace hydrosk::files
