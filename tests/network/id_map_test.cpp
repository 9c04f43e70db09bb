#include "network/id_map.h"

#include <gtest/gtest.h>

namespace hydrosk::network {
namespace {

TEST(IdMap, KeepsInsertionOrderAndFindsIdsInAnyCase) {
    IdMap map;
    map.add("J1", 4);
    map.add("Pump-House", 9);
    map.add("10", 2);

    ASSERT_EQ(map.count(), 3);
    EXPECT_EQ(map.index_at(1), 4);
    EXPECT_EQ(map.index_at(2), 9);
    EXPECT_EQ(map.index_at(3), 2);
    EXPECT_EQ(map.index_at(0), std::nullopt);
    EXPECT_EQ(map.index_at(4), std::nullopt);

    EXPECT_EQ(map.find("j1"), 4);
    EXPECT_EQ(map.find("PUMP-house"), 9);
    EXPECT_EQ(map.find("10"), 2);
    EXPECT_EQ(map.find("J2"), std::nullopt);
    EXPECT_EQ(map.find(""), std::nullopt);
}

TEST(IdMap, IdsDifferingOnlyInCaseAreBothKeptAndFoundByExactSpelling) {
    IdMap map;
    map.add("abc", 1);
    map.add("ABC", 2);
    EXPECT_EQ(map.count(), 2);
    EXPECT_EQ(map.find("abc"), 1);
    EXPECT_EQ(map.find("ABC"), 2);
    EXPECT_EQ(map.find("Abc"), 1);  // another spelling: the first one added
}

TEST(IdMap, OnlyAsciiLettersAreFolded) {
    IdMap map;
    map.add("\xC9t\xE9", 1);  // Latin-1 "Été"
    EXPECT_EQ(map.find("\xC9T\xE9"), 1);
    EXPECT_EQ(map.find("\xE9t\xE9"), std::nullopt);
}

}  // namespace
}  // namespace hydrosk::network
