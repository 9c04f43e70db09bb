// Outcomes travel between ranks bit for bit: every field kind, the float bits that decide a
// results file's digits, and failures with their kind and message.
#include "cluster/outcome_codec.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "analysis/search_common.h"

namespace hydrosk::cluster {
namespace {

using analysis::JunctionOutcome;
using analysis::MessageKind;
using analysis::RunEnded;

TEST(OutcomeCodecTest, RowsComeBackWithTheSameFieldsAndBits) {
    const float tenth = 0.1F + 0.1F + 0.1F;  // a sum with drift, not 0.3
    JunctionOutcome outcome;
    outcome.row = {std::string("J 1,\"x\""), tenth, 10.1863888888889,
                   std::numeric_limits<float>::denorm_min(), std::string()};
    outcome.unsolved = {3, 110};
    const auto [position, decoded] = DecodeOutcome(EncodeOutcome(920, outcome));
    EXPECT_EQ(position, 920);
    ASSERT_FALSE(decoded.failure);
    ASSERT_EQ(decoded.row.size(), outcome.row.size());
    EXPECT_EQ(std::get<std::string>(decoded.row[0]), "J 1,\"x\"");
    EXPECT_EQ(std::bit_cast<std::uint32_t>(std::get<float>(decoded.row[1])),
              std::bit_cast<std::uint32_t>(tenth));
    EXPECT_EQ(std::get<double>(decoded.row[2]), 10.1863888888889);
    EXPECT_EQ(std::get<float>(decoded.row[3]), std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(std::get<std::string>(decoded.row[4]), "");
    EXPECT_EQ(decoded.unsolved.count, 3);
    EXPECT_EQ(decoded.unsolved.first_code, 110);
}

TEST(OutcomeCodecTest, FailuresKeepTheirKindAndMessage) {
    for (const auto kind : {MessageKind::Failure, MessageKind::Refusal}) {
        JunctionOutcome outcome;
        outcome.failure = std::make_exception_ptr(RunEnded(kind, "Problem in INP file!"));
        const auto [position, decoded] = DecodeOutcome(EncodeOutcome(7, outcome));
        EXPECT_EQ(position, 7);
        try {
            std::rethrow_exception(decoded.failure);
        } catch (const RunEnded& ended) {
            EXPECT_EQ(ended.kind(), kind);
            EXPECT_STREQ(ended.what(), "Problem in INP file!");
        }
    }
    JunctionOutcome other;
    other.failure = std::make_exception_ptr(std::bad_alloc());
    const auto [position, decoded] = DecodeOutcome(EncodeOutcome(1, other));
    EXPECT_THROW(std::rethrow_exception(decoded.failure), RunEnded);
}

TEST(OutcomeCodecTest, DamagedBytesAreRefused) {
    JunctionOutcome outcome;
    outcome.row = {std::string("J1"), 1.5F};
    const std::string bytes = EncodeOutcome(3, outcome);
    EXPECT_THROW(DecodeOutcome(bytes.substr(0, bytes.size() - 1)), std::invalid_argument);
    EXPECT_THROW(DecodeOutcome(bytes + "x"), std::invalid_argument);
    EXPECT_THROW(DecodeOutcome(""), std::invalid_argument);
}

}  // namespace
}  // namespace hydrosk::cluster
