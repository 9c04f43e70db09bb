#include "files/record_layout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/file_error.h"
#include "test_support.h"

namespace hydrosk::files {
namespace {

using testing::FileNames;
using testing::ReadBytes;
using testing::TempDirTest;
using testing::WriteBytes;

TEST(FormatRecord, QuotesTextsAndWritesBareNumbersWithCrLf) {
    EXPECT_EQ(FormatRecord({std::string("12"), 35.5f}), "\"12\",35.5\r\n");
    EXPECT_EQ(FormatRecord({std::string("[MAX_FLOW]"), 1000.0f}), "\"[MAX_FLOW]\",1000\r\n");
    EXPECT_EQ(FormatRecord({std::string("Check_Node"), std::string("Maximal_Flow"),
                            std::string("Violating_Node"), std::string("Minimal_pressure")}),
              "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n");
    EXPECT_EQ(FormatRecord({std::string("J7")}), "\"J7\"\r\n");
    EXPECT_EQ(FormatRecord({1.0f / 3.0f, 1.0 / 3.0, -4.0f}), "0.3333333,0.333333333333333,-4\r\n");
    EXPECT_EQ(FormatRecord({std::string("a, b"), std::string("")}), "\"a, b\",\"\"\r\n");
}

TEST(FormatRecord, RefusesWhatTheLayoutCannotCarry) {
    EXPECT_THROW(FormatRecord({std::string("J\"7")}), std::invalid_argument);
    EXPECT_THROW(FormatRecord({std::numeric_limits<float>::quiet_NaN()}), std::invalid_argument);
}

using WriteRecordFileTest = TempDirTest;

TEST_F(WriteRecordFileTest, WritesEveryRecordWithCrLfAndNothingElse) {
    const auto file = dir() / "out.txt";
    const std::vector<Record> records = {{std::string("J7")}, {std::string("12"), 35.5f}};
    WriteRecordFile(file, records);
    EXPECT_EQ(ReadBytes(file), "\"J7\"\r\n\"12\",35.5\r\n");
    EXPECT_EQ(FileNames(dir()), std::set<std::string>{"out.txt"});
}

TEST_F(WriteRecordFileTest, NoRecordsGiveZeroBytesAndReplaceOldContent) {
    const auto file = dir() / "out.txt";
    WriteBytes(file, "old content that is longer\r\n");
    WriteRecordFile(file, {});
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_F(WriteRecordFileTest, KeepsTextBytesAsGiven) {
    const auto file = dir() / "out.txt";
    const std::string latin1 = "\xE9t\xE9 \xFC";
    WriteRecordFile(file, std::vector<Record>{{latin1}});
    EXPECT_EQ(ReadBytes(file), "\"" + latin1 + "\"\r\n");
}

TEST_F(WriteRecordFileTest, FailureInsideTheParentNamesTheFileAndTheReason) {
    WriteBytes(dir() / "plain", "x");
    const auto file = dir() / "plain" / "out.txt";
    try {
        WriteRecordFile(file, std::vector<Record>{{std::string("J7")}});
        FAIL() << "no error";
    } catch (const FileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(file.string()), std::string::npos) << message;
        EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
        EXPECT_EQ(error.file(), file);
    }
}

TEST_F(WriteRecordFileTest, RefusedRecordHalfWayLeavesTheOldFileIntact) {
    const auto file = dir() / "out.txt";
    WriteBytes(file, "\"old\"\r\n");
    const std::vector<Record> records = {{std::string("new")}, {std::string("bad\"id")}};
    try {
        WriteRecordFile(file, records);
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find("double quote"), std::string::npos);
    }
    EXPECT_EQ(ReadBytes(file), "\"old\"\r\n");
    EXPECT_EQ(FileNames(dir()), std::set<std::string>{"out.txt"});
}

TEST_F(WriteRecordFileTest, FailedRenameRemovesTheTemporaryFile) {
    const auto target = dir() / "taken";
    std::filesystem::create_directory(target);
    WriteBytes(target / "inside", "x");
    EXPECT_THROW(WriteRecordFile(target, std::vector<Record>{{std::string("J7")}}), FileError);
    EXPECT_EQ(ReadBytes(target / "inside"), "x");
    EXPECT_EQ(FileNames(dir()), std::set<std::string>{"taken"});
}

TEST_F(WriteRecordFileTest, WriterWithoutCommitChangesNothing) {
    const auto file = dir() / "out.txt";
    WriteBytes(file, "\"old\"\r\n");
    {
        RecordFileWriter writer(file);
        writer.Write({std::string("new")});
    }
    EXPECT_EQ(ReadBytes(file), "\"old\"\r\n");
    EXPECT_EQ(FileNames(dir()), std::set<std::string>{"out.txt"});
}

using ReadFileIfExistsTest = TempDirTest;

TEST_F(ReadFileIfExistsTest, MissingIsNothingAndUnreadableIsAnError) {
    EXPECT_FALSE(ReadFileIfExists(dir() / "missing.txt").has_value());
    WriteBytes(dir() / "some.txt", std::string("a\0b\r\n", 5));
    EXPECT_EQ(ReadFileIfExists(dir() / "some.txt"), std::string("a\0b\r\n", 5));
    EXPECT_THROW(ReadFileIfExists(dir()), FileError);  // a directory
    EXPECT_THROW(ReadFileIfExists(dir() / "some.txt" / "x"), FileError);
}

TEST_F(ReadFileIfExistsTest, WhatIsNotARegularFileIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo((dir() / "fifo").c_str(), 0600), 0);  // would wait for a writer
    for (const std::filesystem::path& file : {dir() / "fifo", std::filesystem::path("/dev/zero")}) {
        try {
            ReadFileIfExists(file);
            FAIL() << file;
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find("not a regular file"), std::string::npos);
        }
    }
}

// Reads every field of `bytes` as the reader gives them.
std::vector<ReadField> AllFields(const std::string& bytes) {
    FieldReader reader(bytes);
    std::vector<ReadField> fields;
    while (auto field = reader.Next()) fields.push_back(*field);
    return fields;
}

std::vector<std::string> Texts(const std::vector<ReadField>& fields) {
    std::vector<std::string> texts;
    for (const auto& field : fields) texts.push_back(field.text);
    return texts;
}

TEST(FieldReader, LineEndsAndAMissingFinalCrLfReadTheSame) {
    const std::vector<std::string> expected = {"12", "35.5", "J3", "40"};
    for (const char* bytes : {"\"12\",35.5\r\n\"J3\",40\r\n", "\"12\",35.5\r\n\"J3\",40",
                              "\"12\",35.5\n\"J3\",40\n", "\"12\",35.5\r\"J3\",40"}) {
        EXPECT_EQ(Texts(AllFields(bytes)), expected) << bytes;
    }
}

TEST(FieldReader, QuotedFieldRunsToTheNextQuoteAndDropsWhatFollows) {
    const auto fields = AllFields("  \"J7\"   ,35.5\r\n\"a,b\"xyz,\"c\r\nd\"\r\n\"open");
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(Texts(fields), (std::vector<std::string>{"J7", "35.5", "a,b", "c\r\nd", "open"}));
    EXPECT_TRUE(fields[0].quoted);
    EXPECT_FALSE(fields[1].quoted);
}

TEST(FieldReader, BareFieldRunsToCommaOrLineEndWithoutOuterBlanks) {
    const auto fields = AllFields("101\r\n  abc  ,\t5 \r\na,,b\r\n");
    EXPECT_EQ(Texts(fields), (std::vector<std::string>{"101", "abc", "5", "a", "", "b"}));
    EXPECT_FALSE(fields[0].quoted);
}

TEST(FieldReader, EndIsReachedAfterTheLastRecord) {
    FieldReader reader("\"J7\"\r\n");
    EXPECT_FALSE(reader.AtEnd());
    ASSERT_TRUE(reader.Next().has_value());
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_FALSE(reader.Next().has_value());
    EXPECT_FALSE(FieldReader("   ").Next().has_value());
    EXPECT_TRUE(FieldReader("").AtEnd());
}

TEST(FieldReader, SkipBlankLinesStopsAtTheNextField) {
    FieldReader reader("\r\n  \r\n\n\t\"J7\"\r\n \r\n  ");
    reader.SkipBlankLines();
    const auto field = reader.Next();
    ASSERT_TRUE(field.has_value());
    EXPECT_EQ(field->text, "J7");
    reader.SkipBlankLines();
    EXPECT_TRUE(reader.AtEnd());
}

TEST(UntypedValue, QuotedGivesTextAndBareNumberGivesNumber) {
    EXPECT_EQ(UntypedValue({"35.5", true}), ReadValue(std::string("35.5")));
    EXPECT_EQ(UntypedValue({"35.5", false}), ReadValue(35.5));
    EXPECT_EQ(UntypedValue({"1E+07", false}), ReadValue(1e7));
    EXPECT_EQ(UntypedValue({".5", false}), ReadValue(0.5));
    EXPECT_EQ(UntypedValue({"-5", false}), ReadValue(-5.0));
    EXPECT_EQ(UntypedValue({"abc", false}), ReadValue(std::string("abc")));
}

}  // namespace
}  // namespace hydrosk::files
