// The change records of one read, from the bytes the system delivers: well-formed chains and
// every way a chain can lie about its own size.
#include "copperfold/core/change_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using copperfold::DirectoryChange;
using copperfold::ParseChangeRecords;

struct RecordFields {
    std::uint32_t action;
    std::u16string name;
    std::uint32_t nextOverride = 0xFFFFFFFF;   // keep the computed offset unless set
    std::uint32_t lengthOverride = 0xFFFFFFFF;
};

void PutUint32(std::vector<std::byte>& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Lays records out as the system does: each padded to a multiple of 4 bytes, the last with a
// next-entry offset of 0.
std::vector<std::byte> Records(const std::vector<RecordFields>& fields) {
    std::vector<std::byte> bytes;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t start = bytes.size();
        const std::size_t nameBytes = fields[i].name.size() * 2;
        const std::size_t size = (12 + nameBytes + 3) / 4 * 4;
        bytes.resize(start + size);
        const bool last = i + 1 == fields.size();
        PutUint32(bytes, start, fields[i].nextOverride != 0xFFFFFFFF ? fields[i].nextOverride
                                : last ? 0 : static_cast<std::uint32_t>(size));
        PutUint32(bytes, start + 4, fields[i].action);
        PutUint32(bytes, start + 8, fields[i].lengthOverride != 0xFFFFFFFF ? fields[i].lengthOverride
                                                                           : static_cast<std::uint32_t>(nameBytes));
        std::memcpy(bytes.data() + start + 12, fields[i].name.data(), nameBytes);
    }
    return bytes;
}

TEST(ChangeRecords, ChainOfRecordsInOrderWithTheirActions) {
    const auto bytes = Records({{1, u"new.txt"}, {3, u"Letters\\letter.txt"}, {4, u"a"}, {5, u"b"}, {2, u"old"}});
    const std::vector<DirectoryChange> expected = {
        {L"new.txt", 1}, {L"Letters\\letter.txt", 3}, {L"a", 4}, {L"b", 5}, {L"old", 2}};
    EXPECT_EQ(ParseChangeRecords(bytes), expected);
}

TEST(ChangeRecords, NamesInAnyScriptAndOutsideTheBasicPlane) {
    const auto bytes = Records({{1, u"Résumé été.txt"}, {1, u"\U0001F600.png"}, {1, u"日本語"}});
    const auto changes = ParseChangeRecords(bytes);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].name, L"Résumé été.txt");
    EXPECT_EQ(changes[1].name, L"\U0001F600.png");
    EXPECT_EQ(changes[2].name, L"日本語");
}

TEST(ChangeRecords, NothingDeliveredOrTooShortForAHeader) {
    EXPECT_TRUE(ParseChangeRecords({}).empty());
    const auto bytes = Records({{1, u"x"}});
    EXPECT_TRUE(ParseChangeRecords(std::span(bytes).first(11)).empty());
}

TEST(ChangeRecords, ANameLongerThanTheBytesEndsTheWalk) {
    auto bytes = Records({{1, u"kept"}, {1, u"cut", 0xFFFFFFFF, 0x7FFFFFF0}});
    EXPECT_EQ(ParseChangeRecords(bytes), (std::vector<DirectoryChange>{{L"kept", 1}}));
    // The same record exactly one byte too short for its name.
    bytes = Records({{1, u"abcd"}});
    EXPECT_TRUE(ParseChangeRecords(std::span(bytes).first(12 + 7)).empty());
    EXPECT_EQ(ParseChangeRecords(std::span(bytes).first(12 + 8)).size(), 1u);
}

TEST(ChangeRecords, AnOddNameLengthEndsTheWalk) {
    const auto bytes = Records({{1, u"kept"}, {1, u"odd", 0xFFFFFFFF, 5}});
    EXPECT_EQ(ParseChangeRecords(bytes), (std::vector<DirectoryChange>{{L"kept", 1}}));
}

TEST(ChangeRecords, NextOffsetsThatOverlapLoopOrLeaveTheBytesEndTheWalk) {
    // Pointing back into its own header (and so looping) or past the end stops after the record.
    for (const std::uint32_t next : {4u, 12u, 0x10000u, 0xFFFFFFF0u}) {
        const auto bytes = Records({{1, u"first", next}, {2, u"second"}});
        EXPECT_EQ(ParseChangeRecords(bytes), (std::vector<DirectoryChange>{{L"first", 1}})) << next;
    }
    // An offset that lands exactly on the end leaves no room for another header.
    const auto bytes = Records({{1, u"ab"}});
    auto chained = bytes;
    PutUint32(chained, 0, static_cast<std::uint32_t>(chained.size()));
    EXPECT_EQ(ParseChangeRecords(chained).size(), 1u);
}

TEST(ChangeRecords, AnEmptyNameIsARecordToo) {
    const auto bytes = Records({{3, u""}, {1, u"x"}});
    EXPECT_EQ(ParseChangeRecords(bytes), (std::vector<DirectoryChange>{{L"", 3}, {L"x", 1}}));
}

TEST(ChangeRecords, AFullBufferOfShortRecords) {
    std::vector<RecordFields> fields(copperfold::kChangeBufferSize / 16, RecordFields{1, u"ab"});
    const auto bytes = Records(fields);
    ASSERT_EQ(bytes.size(), copperfold::kChangeBufferSize);
    EXPECT_EQ(ParseChangeRecords(bytes).size(), fields.size());
}

}  // namespace
