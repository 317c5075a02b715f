#include "common/core/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using common::IniDocument;

namespace {

using Names = std::vector<std::wstring>;

std::optional<std::wstring> Value(const IniDocument& document, std::wstring_view section,
                                  std::wstring_view key) {
    if (const auto value = document.FindValue(section, key)) return std::wstring(*value);
    return std::nullopt;
}

}  // namespace

TEST(IniDocumentParse, LinesEndAtCrLfOrCrlfAndAreTrimmed) {
    const IniDocument document =
        IniDocument::Parse(L"  [ Alpha ]  \r\n\t k1 =  one  \nk2=two\rk3 = three\r\r\nk4=four");
    EXPECT_EQ(Value(document, L"Alpha", L"k1"), L"one");
    EXPECT_EQ(Value(document, L" Alpha ", L" k1\t"), L"one");
    EXPECT_EQ(Value(document, L"Alpha", L"k2"), L"two");
    EXPECT_EQ(Value(document, L"Alpha", L"k3"), L"three");
    EXPECT_EQ(Value(document, L"Alpha", L"k4"), L"four");
    EXPECT_EQ(document.KeyNames(L"Alpha"), (Names{L"k1", L"k2", L"k3", L"k4"}));
}

TEST(IniDocumentParse, HeaderNameRunsToTheLastBracket) {
    const IniDocument document =
        IniDocument::Parse(L"[A]x]\r\nk=1\r\n[B] ; note\r\nk=2\r\n[C\r\nc=3\r\n[a=b]\r\nk=4\r\n");
    EXPECT_EQ(Value(document, L"A]x", L"k"), L"1");
    EXPECT_FALSE(document.HasSection(L"A"));
    EXPECT_EQ(Value(document, L"B", L"k"), L"2");
    // "[C" has no closing bracket: it is a line of section B without '='.
    EXPECT_FALSE(document.HasSection(L"C"));
    EXPECT_EQ(Value(document, L"B", L"c"), L"3");
    EXPECT_EQ(Value(document, L"a=b", L"k"), L"4");
}

TEST(IniDocumentParse, LinesWithoutEqualsOrWithoutName) {
    const IniDocument document = IniDocument::Parse(L"[S]\r\nflag\r\n=val\r\nempty=\r\nk=v\r\nflag=late\r\n");
    EXPECT_EQ(Value(document, L"S", L"flag"), std::nullopt);  // the first "flag" has no value
    EXPECT_EQ(Value(document, L"S", L""), L"val");
    EXPECT_EQ(Value(document, L"S", L"empty"), L"");
    EXPECT_EQ(document.KeyNames(L"S"), (Names{L"empty", L"k", L"flag"}));
}

TEST(IniDocumentParse, SemicolonCommentsAreNotListedAndSurviveRewrites) {
    IniDocument document = IniDocument::Parse(L"; top\r\n[S]\r\n;note=1\r\n#hash=2\r\nk=v\r\n  ; indented\r\n");
    EXPECT_EQ(document.KeyNames(L"S"), (Names{L"#hash", L"k"}));
    ASSERT_TRUE(document.Set(L"S", L"k", L"w"));
    ASSERT_TRUE(document.Set(L"S", L"n", L"1"));
    EXPECT_EQ(document.Serialize(), L"; top\r\n[S]\r\n;note=1\r\n#hash=2\r\nk=w\r\n  ; indented\r\nn=1\r\n");
}

TEST(IniDocumentParse, QuotesAreKept) {
    const IniDocument document = IniDocument::Parse(L"[S]\r\nd=\"C:\\x\"\r\ns= 'y' \r\n");
    EXPECT_EQ(Value(document, L"S", L"d"), L"\"C:\\x\"");
    EXPECT_EQ(Value(document, L"S", L"s"), L"'y'");
}

TEST(IniDocumentLookup, NamesMatchWithoutRegardToCase) {
    const IniDocument document = IniDocument::Parse(
        L"[PC-Alice]\r\nTYPE0001=Sync\r\n[\u041F\u0443\u0442\u0438]\r\n\u00C4rger=1\r\n");
    EXPECT_EQ(Value(document, L"pc-alice", L"Type0001"), L"Sync");
    EXPECT_EQ(Value(document, L"\u041F\u0423\u0422\u0418", L"\u00E4RGER"), L"1");
    EXPECT_TRUE(document.HasSection(L"PC-ALICE"));
    EXPECT_FALSE(document.HasSection(L"PC-Alic"));
}

TEST(IniDocumentLookup, FirstDuplicateSectionAndKeyWin) {
    const IniDocument document = IniDocument::Parse(L"[A]\r\nk=1\r\nK=2\r\n[B]\r\nk=3\r\n[a]\r\nk=4\r\nonly=5\r\n");
    EXPECT_EQ(Value(document, L"A", L"k"), L"1");
    EXPECT_EQ(Value(document, L"A", L"only"), std::nullopt);
    EXPECT_EQ(document.KeyNames(L"a"), (Names{L"k", L"K"}));
}

TEST(IniDocumentEdit, SetInPlaceKeepsEveryOtherLineByteIdentical) {
    const std::wstring original =
        L"; written by hand\r\n\r\n[First]\r\n  k1 = one  \r\nk2=two\r\n\tflag\r\n;c=3\r\n\r\n[Second]\r\nk2=x\r\n";
    IniDocument document = IniDocument::Parse(original);
    ASSERT_TRUE(document.Set(L"first", L"K2", L"2"));
    EXPECT_EQ(document.Serialize(),
              L"; written by hand\r\n\r\n[First]\r\n  k1 = one  \r\nk2=2\r\n\tflag\r\n;c=3\r\n\r\n[Second]\r\nk2=x\r\n");
    EXPECT_FALSE(document.Set(L"First", L"k1", L"one"));  // same value: nothing to write

    IniDocument unix = IniDocument::Parse(L"[S]\na=1\nb=2");
    ASSERT_TRUE(unix.Set(L"S", L"a", L"9"));
    EXPECT_EQ(unix.Serialize(), L"[S]\r\na=9\r\nb=2\r\n");
}

TEST(IniDocumentEdit, SetAppendsKeysAtSectionEndAndSectionsAtFileEnd) {
    IniDocument empty;
    ASSERT_TRUE(empty.Set(L"Section", L"key", L"value"));
    EXPECT_EQ(empty.Serialize(), L"[Section]\r\nkey=value\r\n");

    IniDocument document = IniDocument::Parse(L"top=1\r\n[A]\r\nk=1\r\n\r\n[B]\r\nx=1");
    ASSERT_TRUE(document.Set(L"a", L"n", L"2"));
    ASSERT_TRUE(document.Set(L" C ", L" key ", L"  v w "));
    ASSERT_TRUE(document.Set(L"C", L"next", L""));
    EXPECT_EQ(document.Serialize(),
              L"top=1\r\n[A]\r\nk=1\r\nn=2\r\n\r\n[B]\r\nx=1\r\n[C]\r\nkey=v w \r\nnext=\r\n");
    EXPECT_EQ(Value(document, L"C", L"key"), L"v w");
    EXPECT_EQ(document.KeyNames(L"C"), (Names{L"key", L"next"}));
}

TEST(IniDocumentEdit, SetOnALineWithoutEqualsGivesItAValue) {
    IniDocument document = IniDocument::Parse(L"[S]\r\nflag\r\n");
    ASSERT_TRUE(document.Set(L"S", L"FLAG", L"1"));
    EXPECT_EQ(document.Serialize(), L"[S]\r\nflag=1\r\n");
}

TEST(IniDocumentEdit, DeleteSectionRemovesTheFirstMatchWithAllItsLines) {
    IniDocument document = IniDocument::Parse(L"top=1\r\n[A]\r\nk=1\r\n;c\r\n\r\n[B]\r\nk=2\r\n[a]\r\nk=3\r\n");
    EXPECT_TRUE(document.DeleteSection(L" a "));
    EXPECT_EQ(document.Serialize(), L"top=1\r\n[B]\r\nk=2\r\n[a]\r\nk=3\r\n");
    EXPECT_EQ(Value(document, L"A", L"k"), L"3");  // the former duplicate is visible now
    EXPECT_FALSE(document.DeleteSection(L"Missing"));
    EXPECT_EQ(Value(document, L"", L"top"), L"1");
}

// Lines share one buffer that edits append to: a key or value handed in as a view of this very
// document must be read before the buffer grows under it.
TEST(IniDocumentEdit, SetTakesTextsThatAreViewsOfTheSameDocument) {
    IniDocument doc = IniDocument::Parse(L"[S]\r\nname=nick\r\norig=a value long enough to leave the small-string buffer\r\n");
    for (int i = 0; i < 200; ++i) {
        const std::wstring_view value = *doc.FindValue(L"S", L"orig");
        ASSERT_TRUE(doc.Set(L"S", L"copy" + std::to_wstring(i), value));
        ASSERT_EQ(doc.FindValue(L"S", L"copy" + std::to_wstring(i)), L"a value long enough to leave the small-string buffer");
    }
    ASSERT_TRUE(doc.Set(L"S", *doc.FindValue(L"S", L"name"), *doc.FindValue(L"S", L"copy7")));
    EXPECT_EQ(doc.FindValue(L"S", L"nick"), L"a value long enough to leave the small-string buffer");
    EXPECT_EQ(IniDocument::Parse(doc.Serialize()).Serialize(), doc.Serialize());
}

TEST(IniDocumentParse, SectionNamesInFileOrderOnceEach) {
    const IniDocument document =
        IniDocument::Parse(L"k=0\r\n[Setting]\r\nLANG=ENG\r\n[ENG]\r\na=b\r\n[setting]\r\nx=y\r\n[ DEU ]\r\n");
    EXPECT_EQ(document.SectionNames(), (Names{L"Setting", L"ENG", L"DEU"}));
    EXPECT_TRUE(IniDocument::Parse(L"; only a comment\r\nk=v\r\n").SectionNames().empty());
}
