// Job folders: which paths are full, the platform's full-path form, and containment.
#include "copperfold/core/job_paths.h"

#include <gtest/gtest.h>

#include "copperfold/core/partial_name.h"

namespace copperfold {
namespace {

TEST(JobPaths, OnlyDriveAndNetworkPathsAreFull) {
    for (const wchar_t* full : {L"C:\\", L"c:\\x", L"Z:/x", L"\\\\server\\share", L"\\\\server\\share\\",
                                L"//server/share/x", L"\\\\?\\C:\\x", L"\\\\?\\UNC\\server\\share"}) {
        EXPECT_TRUE(IsFullJobPath(full)) << testing::PrintToString(std::wstring(full));
    }
    for (const wchar_t* partial : {L"", L" ", L"x", L"C:", L"C:x", L"1:\\x", L"\\x", L"/x", L"\\\\", L"\\\\server",
                                   L"\\\\server\\", L"\\\\\\share", L"\\\\.\\C:\\x", L"\\\\?\\x", L"\\\\?\\UNC\\server",
                                   L"\\\\?\\C:"}) {
        EXPECT_FALSE(IsFullJobPath(partial)) << testing::PrintToString(std::wstring(partial));
    }
}

// What the platform's full-path call answers for these (checked against it under Wine too).
TEST(JobPaths, FullFormResolvesDotsSeparatorsAndTrailingDotsAndBlanks) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Data\\Photos", L"C:\\Data\\Photos"},
        {L"C:\\Data\\Photos.", L"C:\\Data\\Photos"},
        {L"C:\\Data\\Photos. . ", L"C:\\Data\\Photos"},
        {L"C:\\Data.\\Photos", L"C:\\Data\\Photos"},
        {L"C:\\Data..\\Photos", L"C:\\Data.\\Photos"},
        {L"C:\\Data \\Photos", L"C:\\Data \\Photos"},
        {L"C:\\Data\\Photos\\", L"C:\\Data\\Photos\\"},
        {L"C:\\Data\\Photos. \\", L"C:\\Data\\Photos. \\"},
        {L"C:\\sc\\.\\src", L"C:\\sc\\src"},
        {L"C:\\sc\\x\\..\\src\\.", L"C:\\sc\\src"},
        {L"C:\\a\\..\\..\\..\\b", L"C:\\b"},
        {L"C:\\a\\..", L"C:\\"},
        {L"C:\\...", L"C:\\"},
        {L"C:/a//b///c", L"C:\\a\\b\\c"},
        {L"C:\\", L"C:\\"},
        {L"\\\\server\\share\\a\\..\\..\\b.", L"\\\\server\\share\\b"},
        {L"//server/share/x/", L"\\\\server\\share\\x\\"},
        {L"\\\\?\\C:\\Photos.", L"\\\\?\\C:\\Photos."},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(PlatformFullPath(path), expected) << testing::PrintToString(std::wstring(path));
    }
}

TEST(JobPaths, ContainmentComparesWholeComponentsWithoutRegardToCase) {
    EXPECT_TRUE(InsideEachOther(ComparablePath(L"C:\\Data"), ComparablePath(L"c:\\data\\x\\")));
    EXPECT_TRUE(InsideEachOther(ComparablePath(L"\\\\?\\C:\\Data\\x"), ComparablePath(L"C:\\DATA")));
    EXPECT_TRUE(InsideEachOther(ComparablePath(L"\\\\?\\UNC\\srv\\sh\\a"), ComparablePath(L"\\\\SRV\\sh")));
    EXPECT_TRUE(InsideEachOther(ComparablePath(L"C:\\"), ComparablePath(L"C:\\x")));
    EXPECT_FALSE(InsideEachOther(ComparablePath(L"C:\\Data"), ComparablePath(L"C:\\Database")));
    EXPECT_FALSE(InsideEachOther(ComparablePath(L"C:\\Data"), ComparablePath(L"D:\\Data")));
}

TEST(PartialNames, CarryAUniquePartAndAreRecognisedOnlyWhenTheirCheckMatches) {
    const std::wstring name = PartialFileName(L"photo.jpg", 0x1234abcd);
    EXPECT_TRUE(name.starts_with(L"photo.jpg.~1234abcd")) << testing::PrintToString(name);
    EXPECT_TRUE(name.ends_with(L".~cfpart"));
    EXPECT_TRUE(IsPartialFileName(name));
    EXPECT_NE(PartialFileName(L"photo.jpg", 0x1234abce), name);

    // A user's files that merely look alike are not ours.
    std::wstring forged = name;
    forged[9 + 2 + 8] = forged[9 + 2 + 8] == L'0' ? L'1' : L'0';  // first digit of the check
    std::wstring renamed = L"photo.jpeg" + name.substr(9);          // the check was made for another name
    for (const std::wstring& other : {std::wstring(L"photo.jpg.~cfpart"), std::wstring(L".~cfpart"), forged, renamed,
                                      std::wstring(L"x.~1234abcd0000000G.~cfpart"), name.substr(1),
                                      L"photo.jpg.~1234ABCD" + name.substr(19), name + L".txt"}) {
        EXPECT_FALSE(IsPartialFileName(other)) << testing::PrintToString(other);
    }
}

TEST(PartialNames, LongNamesGetAShortStandInThatFitsEveryFileSystem) {
    const std::wstring longName(250, L'a');
    const std::wstring part = PartialFileName(longName, 7);
    EXPECT_LE(part.size(), 255u);
    EXPECT_TRUE(IsPartialFileName(part));
    EXPECT_EQ(part, PartialFileName(longName, 7));
    EXPECT_NE(part, PartialFileName(std::wstring(250, L'b'), 7));
    // 77 CJK characters are 231 bytes of UTF-8: with the 26 added, too long for Linux's limit.
    EXPECT_EQ(PartialFileName(std::wstring(77, L'\u6f22'), 1).find(L'\u6f22'), std::wstring::npos);
    EXPECT_NE(PartialFileName(std::wstring(76, L'\u6f22'), 1).find(L'\u6f22'), std::wstring::npos);
}

}  // namespace
}  // namespace copperfold
