#include "files/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "test_support.h"

namespace hydrosk::files {
namespace {

using testing::GermanLocale;

struct SingleCase {
    float value;
    const char* text;
};

TEST(FormatSingle, WritesAtMostSevenSignificantDigitsWithoutPadding) {
    const SingleCase cases[] = {
        {1.0f / 3.0f, "0.3333333"},
        {35.5f, "35.5"},
        {35.0f, "35"},
        {1000.0f, "1000"},
        {110.0f, "110"},
        {-12.25f, "-12.25"},
        {0.5f, "0.5"},
        {0.1f, "0.1"},
        {1234567.0f, "1234567"},
        {1e7f, "1E+07"},
        {12345678.0f, "1.234568E+07"},
        {0.0001f, "0.0001"},
        {0.00001f, "1E-05"},
        {-2.5e-5f, "-2.5E-05"},
        {0.0f, "0"},
        {-0.0f, "0"},
        {2.0f / 3.0f, "0.6666667"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSingle(c.value), c.text) << c.text;
}

struct DoubleCase {
    double value;
    const char* text;
};

TEST(FormatDouble, WritesAtMostFifteenSignificantDigits) {
    const DoubleCase cases[] = {
        {1.0 / 3.0, "0.333333333333333"},       {0.1, "0.1"},    {12.0, "12"},       {-5.5, "-5.5"},
        {123456789012345.0, "123456789012345"}, {1e15, "1E+15"}, {1e-300, "1E-300"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDouble(c.value), c.text) << c.text;
}

TEST(FormatNumbers, RefuseValuesTheLayoutCannotCarry) {
    EXPECT_THROW(FormatSingle(std::numeric_limits<float>::quiet_NaN()), std::invalid_argument);
    EXPECT_THROW(FormatSingle(std::numeric_limits<float>::infinity()), std::invalid_argument);
    EXPECT_THROW(FormatDouble(-std::numeric_limits<double>::infinity()), std::invalid_argument);
}

TEST(ParseFieldNumber, AcceptsSignExponentAndMissingZero) {
    const std::pair<const char*, double> cases[] = {
        {"35.5", 35.5}, {"1E+07", 1e7},      {"1e-3", 1e-3}, {".5", 0.5},  {"-.5", -0.5},
        {"5.", 5.0},    {"-5", -5.0},        {"+5", 5.0},    {" 7 ", 7.0}, {"0.3333333", 0.3333333},
        {"1000", 1000}, {"2.5E-05", 2.5e-5},
    };
    for (const auto& [text, value] : cases) {
        const auto parsed = ParseFieldNumber(text);
        ASSERT_TRUE(parsed.has_value()) << text;
        EXPECT_EQ(*parsed, value) << text;
    }
}

TEST(ParseFieldNumber, RefusesWhatIsNotAPeriodNumber) {
    for (const char* text : {"", "  ", "abc", "1,5", "12abc", "1.2.3", "inf", "nan", "--5", "+-5",
                             "1E", "E5", ".", "-", "0x10", "1E+999", "&H10"}) {
        EXPECT_FALSE(ParseFieldNumber(text).has_value()) << text;
    }
}

// Seven digits do not carry every float exactly (one third does not come back
// bit for bit), but values with few digits must.
TEST(ParseFieldNumber, ReadsBackWhatTheWriterWrites) {
    for (const float value : {35.5f, 1e7f, -2.5e-5f, 1000.0f, 0.1f}) {
        const auto parsed = ParseFieldNumber(FormatSingle(value));
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(static_cast<float>(*parsed), value) << FormatSingle(value);
    }
}

TEST(TrimBlanks, RemovesSpacesAndTabsAtBothEnds) {
    EXPECT_EQ(TrimBlanks(" \t 1 5\t "), "1 5");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks(""), "");
}

TEST(ParseLocaleNumber, ClassicLocaleUsesAPeriod) {
    const std::locale classic = std::locale::classic();
    EXPECT_EQ(ParseLocaleNumber("35.5", classic), 35.5f);
    EXPECT_EQ(ParseLocaleNumber("  110  ", classic), 110.0f);
    EXPECT_EQ(ParseLocaleNumber("\t-3\t", classic), -3.0f);
    EXPECT_EQ(ParseLocaleNumber("1E+07", classic), 1e7f);
    EXPECT_EQ(ParseLocaleNumber(".5", classic), 0.5f);
    // Rounded to single precision, not kept as double.
    EXPECT_EQ(ParseLocaleNumber("0.1", classic), 0.1f);
}

TEST(ParseLocaleNumber, ReportsTextsThatAreNotNumbers) {
    const std::locale classic = std::locale::classic();
    for (const char* text : {"", "   ", "abc", "12abc", "1,5", "1 000", "- 5", "1e39", "&H10"}) {
        EXPECT_FALSE(ParseLocaleNumber(text, classic).has_value()) << '"' << text << '"';
    }
}

TEST(ParseLocaleNumber, CommaDecimalLocaleTakesAComma) {
    const auto german = GermanLocale();
    if (!german) GTEST_SKIP() << "de_DE.UTF-8 is not installed (make deps generates it)";
    EXPECT_EQ(ParseLocaleNumber("35,5", *german), 35.5f);
    EXPECT_EQ(ParseLocaleNumber(" 1,5 ", *german), 1.5f);
    EXPECT_EQ(ParseLocaleNumber("-0,25", *german), -0.25f);
    EXPECT_EQ(ParseLocaleNumber("1000", *german), 1000.0f);
    // A period is digit grouping there; a misplaced one is not a number.
    EXPECT_FALSE(ParseLocaleNumber("35.5", *german).has_value());
    EXPECT_FALSE(ParseLocaleNumber("abc", *german).has_value());
    EXPECT_FALSE(ParseLocaleNumber("", *german).has_value());
}

TEST(FormatUserNumber, UsesTheDecimalSeparatorOfTheLocale) {
    EXPECT_EQ(FormatUserNumber(1.5f, std::locale::classic()), "1.5");
    const auto german = GermanLocale();
    if (!german) GTEST_SKIP() << "de_DE.UTF-8 is not installed (make deps generates it)";
    EXPECT_EQ(FormatUserNumber(1.5f, *german), "1,5");
    EXPECT_EQ(FormatUserNumber(1.0f / 3.0f, *german), "0,3333333");
    EXPECT_EQ(FormatUserNumber(1.0 / 3.0, *german), "0,333333333333333");
    EXPECT_EQ(FormatUserNumber(1000.0, *german), "1000");
    EXPECT_EQ(FormatUserNumber(1e7f, *german), "1E+07");
}

// Sets one environment variable for the lifetime of the object.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~EnvironmentOverride() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(UserLocale, FollowsTheEnvironmentWithoutChangingTheGlobalLocale) {
    if (!GermanLocale()) GTEST_SKIP() << "de_DE.UTF-8 is not installed (make deps generates it)";
    const std::string global_before = std::locale().name();
    const std::string c_numeric_before = std::setlocale(LC_NUMERIC, nullptr);
    {
        const EnvironmentOverride german("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(ParseLocaleNumber("35,5"), 35.5f);
        EXPECT_EQ(FormatUserNumber(1.5f), "1,5");
        EXPECT_EQ(FormatUserNumber(35.5), "35,5");
    }
    EXPECT_EQ(std::locale().name(), global_before);
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), c_numeric_before);
}

TEST(UserLocale, FallsBackToClassicForAMissingLocale) {
    const EnvironmentOverride missing("LC_ALL", "xx_NOWHERE.UTF-8");
    EXPECT_EQ(ParseLocaleNumber("2.5"), 2.5f);
    EXPECT_EQ(FormatUserNumber(2.5f), "2.5");
}

TEST(LeadingNumberValue, TakesTheNumberAtTheStart) {
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<const char*, double> cases[] = {
        {"12abc", 12},
        {"1,5", 1},
        {"abc", 0},
        {"-5", -5},
        {"1 000", 1000},
        {"   ", 0},
        {" 7 ", 7},
        {"&H10", 16},
        {"&h1f", 31},
        {"&O17", 15},
        {"&o8", 0},
        {"&Hxyz", 0},
        {"&X1", 0},
        {"", 0},
        {"1E+07", 1e7},
        {"1e3x", 1000},
        {"1E", 1},
        {"1E+", 1},
        {".5", 0.5},
        {"-.5", -0.5},
        {"+3", 3},
        {"1.2.3", 1.2},
        {"$5", 0},
        {"5$", 5},
        {"1\t2\n3", 123},
        {"- 5", -5},
        {"1 . 5", 1.5},
        {"00012", 12},
        {"12.50", 12.5},
        {"1e999", infinity},
        {"-1e999", -infinity},
        {"1e-999", 0},
        {"0e999", 0},
        {"-", 0},
        {"\r5", 0},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(LeadingNumberValue(text), value) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace hydrosk::files
