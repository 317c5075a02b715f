#include "common/core/ini_file.h"

#include <gtest/gtest.h>

#include "common/core/settings_temp_name.h"
#include "common/tests/fake_ini_file_access.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#endif

using common::FileBytes;
using common::TextEncoding;

namespace {

class IniFileTest : public ::testing::Test, protected testing_support::FakeIniFile {};

}  // namespace

TEST_F(IniFileTest, GetStringRemovesOnlyAPairOfMatchingQuotes) {
    PutUtf16(L"[S]\r\nd=\"x\"\r\ns='x'\r\nmixed=\"x'\r\none=\"\r\nempty=''\r\ninner=\"a\"b\"\r\nspaced= ' x ' \r\n");
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"d", L"x"},         {L"s", L"x"},     {L"mixed", L"\"x'"},  {L"one", L"\""},
        {L"empty", L""},      {L"inner", L"a\"b"}, {L"spaced", L" x "},
    };
    for (const auto& [key, expected] : cases) EXPECT_EQ(ini.GetString(L"S", key, L"dflt"), expected) << key;
}

TEST_F(IniFileTest, GetStringReturnsValuesOfAnyLength) {
    std::wstring value;
    for (int i = 0; i < 100000; ++i) value.push_back(static_cast<wchar_t>(L'a' + i % 26));
    ini.WriteString(L"S", L"long", value);
    EXPECT_EQ(ini.GetString(L"S", L"long", L""), value);
}

TEST_F(IniFileTest, GetStringFallsBackToTheDefaultWithTrailingSpacesRemoved) {
    EXPECT_EQ(ini.GetString(L"S", L"k", L"dflt  "), L"dflt");  // no file
    PutUtf16(L"[S]\r\nflag\r\nempty=\r\n");
    EXPECT_EQ(ini.GetString(L"Other", L"k", L" d "), L" d");
    EXPECT_EQ(ini.GetString(L"S", L"k", L"d"), L"d");
    EXPECT_EQ(ini.GetString(L"S", L"flag", L"d"), L"d");
    EXPECT_EQ(ini.GetString(L"S", L"empty", L"d"), L"");
    EXPECT_EQ(ini.GetString(L"S", L"k", L"\"q\""), L"\"q\"");  // defaults keep their quotes
    EXPECT_EQ(access->replacements, 0);
}

TEST_F(IniFileTest, WriteStringCreatesUtf16FileSectionAndKeyThenReplacesInPlace) {
    ini.WriteString(L"Setting", L"LANG", L"ENG");
    EXPECT_EQ(Bytes().substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Decoded().encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(Decoded().text, L"[Setting]\r\nLANG=ENG\r\n");

    ini.WriteString(L"setting", L"Extra", L"1");
    ini.WriteString(L"SETTING", L"lang", L"DEU");
    ini.WriteString(L"ENG", L"Add", L"Add");
    EXPECT_EQ(Decoded().text, L"[Setting]\r\nLANG=DEU\r\nExtra=1\r\n[ENG]\r\nAdd=Add\r\n");
}

TEST_F(IniFileTest, WriteStringWithEmptyKeyDeletesTheWholeSection) {
    PutUtf16(L"[A]\r\nk=1\r\n[Jobs]\r\nTASK=0x0001\r\nSRC0001=C:\\x\r\n[B]\r\nk=2\r\n");
    ini.WriteString(L"jobs", L"", L"ignored");
    EXPECT_EQ(Decoded().text, L"[A]\r\nk=1\r\n[B]\r\nk=2\r\n");
    EXPECT_FALSE(ini.SectionExists(L"Jobs"));
}

TEST_F(IniFileTest, GetIntSkipsTwoCharactersAndReadsHexDigits) {
    PutUtf16(L"[S]\r\nupper=0x000A\r\nlower=0x000a\r\nplain=10\r\ntwelve=12\r\nwrap=0x100000001\r\n"
             L"all=0xFFFFFFFF\r\ntail=0x1Fz9\r\nempty=\r\nquoted=\"0x0010\"\r\n");
    const std::pair<std::wstring, int> cases[] = {
        {L"upper", 10}, {L"lower", 10}, {L"plain", 0}, {L"twelve", 0}, {L"wrap", 1},
        {L"all", -1},   {L"tail", 31},  {L"empty", 7}, {L"missing", 7}, {L"quoted", 16},
    };
    for (const auto& [key, expected] : cases) EXPECT_EQ(ini.GetInt(L"S", key, 7), expected) << key;
}

TEST_F(IniFileTest, WriteIntWritesAtLeastFourUpperCaseHexDigits) {
    const std::pair<int, std::wstring> cases[] = {
        {3, L"0x0003"}, {10, L"0x000A"}, {0, L"0x0000"}, {0x12345, L"0x12345"}, {-1, L"0xFFFFFFFF"},
    };
    for (const auto& [value, text] : cases) {
        ini.WriteInt(L"S", L"v", value);
        EXPECT_EQ(ini.GetString(L"S", L"v", L""), text);
        EXPECT_EQ(ini.GetInt(L"S", L"v", 7), value);
    }
}

TEST_F(IniFileTest, GetKeysListsNamesInFileOrder) {
    const std::wstring longName(300, L'n');
    PutUtf16(L"[S]\r\nb=1\r\nA=2\r\n;comment=3\r\nflag\r\n=4\r\nb=5\r\n" + longName +
             L"=6\r\n[Only comments]\r\n;x=1\r\nflag\r\n");
    std::vector<std::wstring> keys{L"stale"};
    ini.GetKeys(L"s", keys);
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"b", L"A", L"b", longName.substr(0, 259)}));
    ini.GetKeys(L"Missing", keys);
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(ini.SectionExists(L"S"));
    EXPECT_FALSE(ini.SectionExists(L"Only comments"));
    EXPECT_FALSE(ini.SectionExists(L"Missing"));
}

TEST_F(IniFileTest, Utf8FileStaysUtf8) {
    Put("[S]\r\nk=caf\xC3\xA9\r\n");
    ini.WriteString(L"S", L"n", L"\u4E2D\u6587");
    EXPECT_EQ(Bytes(), "[S]\r\nk=caf\xC3\xA9\r\nn=\xE4\xB8\xAD\xE6\x96\x87\r\n");
}

TEST_F(IniFileTest, UnicodeFilesKeepTheirEncoding) {
    for (const TextEncoding encoding : {TextEncoding::Utf16Le, TextEncoding::Utf16Be, TextEncoding::Utf8WithBom}) {
        Put(*common::EncodeText(L"[S]\r\nk=v\r\n", encoding, common::Windows1252CodePage()));
        ini.WriteString(L"S", L"n", L"\u4E2D\U0001F600");
        EXPECT_EQ(Decoded().encoding, encoding);
        EXPECT_EQ(Decoded().text, L"[S]\r\nk=v\r\nn=\u4E2D\U0001F600\r\n");
    }
}

TEST_F(IniFileTest, CodePageFileStaysCodePageWhileItCanHoldTheText) {
    Put("[S]\r\nk=caf\xE9\r\n");
    ini.WriteString(L"S", L"n", L"\u20AC 5");
    EXPECT_EQ(Bytes(), "[S]\r\nk=caf\xE9\r\nn=\x80 5\r\n");
    EXPECT_EQ(ini.GetString(L"S", L"k", L""), L"caf\u00E9");
}

TEST_F(IniFileTest, CodePageFileBecomesUtf16WhenAValueDoesNotFit) {
    const std::wstring values[] = {
        L"D:\\\u5907\u4EFD",                          // Chinese
        L"D:\\\u0420\u0435\u0437\u0435\u0440\u0432",  // Cyrillic
        L"\U0001F600",                                // outside the BMP
    };
    for (const std::wstring& value : values) {
        Put("; hand-made\r\n[S]\r\nk=caf\xE9\r\n");
        ini.WriteString(L"S", L"SRC0001", value);
        EXPECT_EQ(Bytes().substr(0, 2), "\xFF\xFE");
        EXPECT_EQ(Bytes().substr(0, 2), "\xFF\xFE");
        EXPECT_EQ(ini.GetString(L"S", L"SRC0001", L""), value);
    }

    // In Windows-1252 these are the bytes C3 A9, which would read back as UTF-8 for U+00E9.
    Put("[S]\r\nk=v\r\n");
    ini.WriteString(L"S", L"n", L"\u00C3\u00A9");
    EXPECT_EQ(Decoded().encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(ini.GetString(L"S", L"n", L""), L"\u00C3\u00A9");
}

TEST_F(IniFileTest, BatchReplacesTheFileOnceOnCommit) {
    PutUtf16(L"[S]\r\nold=1\r\n");
    {
        CIniFile::Batch batch(ini);
        ini.WriteString(L"S", L"a", L"1");
        ini.WriteInt(L"S", L"b", 2);
        {
            CIniFile::Batch inner(ini);
            ini.WriteString(L"S", L"old", L"");
            inner.Commit();  // only the outermost batch writes
        }
        EXPECT_EQ(access->replacements, 0);
        EXPECT_EQ(ini.GetString(L"S", L"a", L""), L"1");  // reads see the pending writes
        EXPECT_EQ(ini.GetInt(L"S", L"b", 0), 2);
        batch.Commit();
    }
    EXPECT_EQ(access->replacements, 1);
    EXPECT_EQ(Decoded().text, L"[S]\r\nold=\r\na=1\r\nb=0x0002\r\n");
}

TEST_F(IniFileTest, BatchWithoutCommitWritesNothing) {
    PutUtf16(L"[S]\r\nold=1\r\n");
    const std::string before = Bytes();
    {
        CIniFile::Batch batch(ini);
        ini.WriteString(L"S", L"old", L"2");
        ini.WriteString(L"S", L"", L"");
    }
    EXPECT_EQ(access->replacements, 0);
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(ini.GetString(L"S", L"old", L""), L"1");
}

TEST_F(IniFileTest, FailedReplacementThrowsAndKeepsThePreviousBytes) {
    PutUtf16(L"[S]\r\nk=1\r\n");
    const std::string before = Bytes();
    access->failReplace = true;
    EXPECT_THROW(ini.WriteString(L"S", L"k", L"2"), CIniFileException);
    EXPECT_THROW(ini.WriteString(L"S", L"", L""), CIniFileException);
    {
        CIniFile::Batch batch(ini);
        ini.WriteInt(L"S", L"n", 1);
        EXPECT_THROW(batch.Commit(), CIniFileException);
    }
    EXPECT_EQ(Bytes(), before);
    access->failReplace = false;
    EXPECT_EQ(ini.GetString(L"S", L"k", L""), L"1");
}

TEST_F(IniFileTest, UnreadableFileIsNeverOverwritten) {
    PutUtf16(L"[S]\r\nk=1\r\n");
    access->unreadable = true;
    EXPECT_EQ(ini.GetString(L"S", L"k", L"d"), L"d");
    EXPECT_THROW(ini.WriteString(L"S", L"k", L"2"), CIniFileException);
    EXPECT_THROW(ini.WriteInt(L"New", L"k", 1), CIniFileException);
    {
        CIniFile::Batch batch(ini);
        ini.WriteString(L"S", L"k", L"2");
        EXPECT_THROW(batch.Commit(), CIniFileException);
    }
    EXPECT_EQ(access->replacements, 0);
    EXPECT_FALSE(ini.Readable()) << "callers can tell an unreadable file from an empty one";
    access->unreadable = false;
    EXPECT_TRUE(ini.Readable());
}

// Another process's write lands while this one waits for the update lock (the fake runs it
// just before the lock is had): every write is made to the file as it is then, and none is
// made without the lock. A lock that is not had changes nothing and says which file and why.
TEST_F(IniFileTest, WritesAreMadeUnderTheLockToTheFileAsItIsThen) {
    PutUtf16(L"[S]\r\nmine=1\r\n");
    CIniFile other(kPath, access);
    access->beforeLock = [&] { other.WriteString(L"S", L"theirs", L"1"); };
    ini.WriteString(L"S", L"mine", L"2");
    EXPECT_EQ(Text(), L"[S]\r\nmine=2\r\ntheirs=1\r\n");

    {
        // A reading snapshot that turns into an update reads the file again under the lock.
        CIniFile::Batch snapshot(ini);
        other.WriteString(L"S", L"meanwhile", L"1");
        CIniFile::Batch update(ini, CIniFile::Purpose::ForUpdate);
        ini.WriteString(L"S", L"mine", L"4");
        snapshot.Commit();
    }
    EXPECT_EQ(ini.GetString(L"S", L"meanwhile", L""), L"1");
    EXPECT_EQ(ini.GetString(L"S", L"mine", L""), L"4");
    EXPECT_EQ(access->unlockedReplacements, 0);
    EXPECT_EQ(access->held, 0);

    const std::string before = Bytes();
    access->failLock = true;
    try {
        ini.WriteString(L"S", L"mine", L"5");
        ADD_FAILURE() << "a write without the lock was taken for a success";
    } catch (const CIniFileException& error) {
        EXPECT_EQ(error.Path(), kPath);
        EXPECT_EQ(error.Reason(), common::kFileLockedReason);
    }
    EXPECT_THROW(CIniFile::Batch(ini, CIniFile::Purpose::ForUpdate), CIniFileException);
    EXPECT_EQ(Bytes(), before);
}

// A section taken into another file comes with every line it has (comments, keys this program
// does not know, blank lines), once; the file it came from is only read.
TEST_F(IniFileTest, CopySectionFromTakesTheFirstSectionAsItStandsOnce) {
    const std::wstring oldPath = L"C:\\Program Files\\Copperfold\\old.ini";
    access->files[oldPath] = *common::EncodeText(
        L"[Setting]\r\nLANG=DEU\r\n[PC-bob]\r\nTASK=0x0001\r\n[ pc-ALICE ]\r\n; every night\r\nTASK=0x0001\r\n"
        L"SRC0001=C:\\a\r\nFuture0001=yes\r\n\r\n[PC-alice]\r\nTASK=0x0009\r\n",
        common::TextEncoding::Utf8, common::Windows1252CodePage());
    const std::string oldBytes = access->files[oldPath];
    const CIniFile old(oldPath, access);
    PutUtf16(L"[Setting]\r\nLANG=FRA\r\n");

    EXPECT_TRUE(ini.CopySectionFrom(old, L"PC-alice"));
    EXPECT_EQ(Text(), L"[Setting]\r\nLANG=FRA\r\n[ pc-ALICE ]\r\n; every night\r\nTASK=0x0001\r\nSRC0001=C:\\a\r\n"
                      L"Future0001=yes\r\n\r\n");
    EXPECT_EQ(access->replacements, 1);
    EXPECT_FALSE(ini.CopySectionFrom(old, L"PC-alice")) << "a section it has already is left alone";
    EXPECT_FALSE(ini.CopySectionFrom(old, L"PC-carol"));
    EXPECT_EQ(access->replacements, 1);
    EXPECT_EQ(access->files[oldPath], oldBytes);
}

TEST(SettingsTempNames, OnlyNamesOfOurWritesToThatFileNameTheirOwner) {
    EXPECT_EQ(common::SettingsTempPath(L"C:\\P\\Copperfold.ini", 4242, 7), L"C:\\P\\Copperfold.ini.~4242.7.tmp");
    EXPECT_EQ(common::SettingsTempOwner(L"Copperfold.ini.~4242.7.tmp", L"Copperfold.ini"), 4242u);
    EXPECT_EQ(common::SettingsTempOwner(L"COPPERFOLD.INI.~12.0.TMP", L"Copperfold.ini"), 12u);
    EXPECT_EQ(common::SettingsTempOwner(L"Copperfold.ini.~4294967295.0.tmp", L"Copperfold.ini"), 4294967295u);
    for (const wchar_t* other : {L"Copperfold.ini", L"Copperfold.ini.~4242.tmp", L"Copperfold.ini.~.7.tmp",
                                 L"Copperfold.ini.~4242..tmp", L"Copperfold.ini.~42x.7.tmp", L"Copperfold.ini.~-1.7.tmp",
                                 L"Copperfold.ini.~4294967296.0.tmp", L"Copperfold.ini.~042.7.tmp",
                                 L"Copperfold.ini.~1.2.3.tmp", L"Copperfold.ini.~1.2.tmp.bak", L"Other.ini.~1.2.tmp",
                                 L"XCopperfold.ini.~1.2.tmp", L"Copperfold.ini~1.2.tmp"}) {
        EXPECT_FALSE(common::SettingsTempOwner(other, L"Copperfold.ini").has_value())
            << testing::PrintToString(std::wstring(other));
    }
    EXPECT_EQ(common::FileNameOf(L"C:\\P/x\\Copperfold.ini"), L"Copperfold.ini");
}

TEST_F(IniFileTest, RefusesNamesAndValuesTheFileCannotHold) {
    PutUtf16(L"[S]\r\nk=1\r\n");
    const std::string before = Bytes();
    const std::wstring cases[][3] = {
        {L"S", L"k", L"two\r\nlines"},
        {L"S", L"k", L"a\rb"},
        {L"S", L"k", L"a\nb"},
        {L"S", L"k", std::wstring(L"a\0b", 3)},
        {L"S", L"a=b", L"v"},
        {L"S", L"k\n", L"v"},
        {L"S", L"[T]", L"v"},
        {L"S\r\n[T]", L"k", L"v"},
        {L"S\n", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(ini.WriteString(c[0], c[1], c[2]), CIniFileException) << c[0] << "|" << c[1];
    }
    EXPECT_EQ(access->replacements, 0);
    EXPECT_EQ(Bytes(), before);
}

#ifndef _WIN32

namespace {

namespace fs = std::filesystem;

// Each test gets its own folder under /tmp and the real POSIX file access.
class IniFileOnDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = "/tmp/copperfold-inifile-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, ignored);
        fs::remove_all(dir, ignored);
    }
    static std::wstring Wide(const fs::path& path) { return common::Utf8ToWide(path.string()); }
    static std::string ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir;
};

}  // namespace

TEST_F(IniFileOnDiskTest, RoundTripsThroughARealFile) {
    const fs::path file = dir / "Copperfold-\xC3\x84.ini";
    {
        CIniFile ini(Wide(file));
        ini.WriteString(L"PC-alice", L"SRC0001", L"D:\\\u5907\u4EFD");
        ini.WriteInt(L"PC-alice", L"TASK", 1);
    }
    EXPECT_EQ(ReadAll(file).substr(0, 2), "\xFF\xFE");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);

    CIniFile again(Wide(file));
    again.WriteString(L"Setting", L"LANG", L"ENG");
    EXPECT_EQ(again.GetString(L"pc-alice", L"src0001", L""), L"D:\\\u5907\u4EFD");
    EXPECT_EQ(again.GetInt(L"PC-alice", L"TASK", 0), 1);
    EXPECT_EQ(again.GetString(L"Setting", L"LANG", L""), L"ENG");
    // The replacement keeps the file's permissions and leaves no temporary file behind.
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(IniFileOnDiskTest, ReadOnlyFolderMakesWritesFailAndKeepsTheFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    const fs::path file = dir / "jobs.ini";
    CIniFile ini(Wide(file));
    ini.WriteString(L"S", L"k", L"1");
    const std::string before = ReadAll(file);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(ini.WriteString(L"S", L"k", L"2"), CIniFileException);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(ini.GetString(L"S", L"k", L""), L"1");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(IniFileOnDiskTest, UnreadableFileIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    const fs::path file = dir / "jobs.ini";
    CIniFile ini(Wide(file));
    ini.WriteString(L"S", L"k", L"1");
    const std::string before = ReadAll(file);
    fs::permissions(file, fs::perms::none);
    EXPECT_THROW(ini.WriteString(L"S", L"other", L"2"), CIniFileException);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadAll(file), before);
}

// A write that crashed leaves its temporary file; the next write removes it once its owner is
// gone, and leaves everything else alone.
TEST_F(IniFileOnDiskTest, StaleTemporaryFilesOfEndedWritersAreRemovedAtTheNextWrite) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // its id now names no process
    const std::string dead = std::to_string(child);
    const std::string living = std::to_string(::getppid());
    const char* kept[] = {"jobs.ini.~notes.tmp", "jobs.ini.~1.2.tmp.bak"};
    for (const std::string& name : {"jobs.ini.~" + dead + ".0.tmp", "jobs.ini.~" + dead + ".15.tmp",
                                    "jobs.ini.~" + living + ".0.tmp", "other.ini.~" + dead + ".0.tmp",
                                    std::string(kept[0]), std::string(kept[1])}) {
        std::ofstream(dir / name) << "half a file";
    }
    CIniFile ini(Wide(dir / "jobs.ini"));
    ini.WriteString(L"S", L"k", L"v");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {"jobs.ini", "jobs.ini.~" + living + ".0.tmp", "other.ini.~" + dead + ".0.tmp",
                                         kept[0], kept[1]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST_F(IniFileOnDiskTest, MissingFolderIsNotCreated) {
    CIniFile ini(Wide(dir / "missing" / "jobs.ini"));
    EXPECT_EQ(ini.GetString(L"S", L"k", L"d"), L"d");
    EXPECT_THROW(ini.WriteString(L"S", L"k", L"v"), CIniFileException);
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_TRUE(fs::is_empty(dir));
}

#endif  // _WIN32

#ifndef _WIN32
TEST_F(IniFileOnDiskTest, ReadOnlyFileIsNotReplacedEvenForRoot) {
    const fs::path file = dir / "jobs.ini";
    CIniFile ini(Wide(file));
    ini.WriteString(L"S", L"k", L"before");
    const std::string before = ReadAll(file);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_THROW(ini.WriteString(L"S", L"k", L"after"), CIniFileException);
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
#endif
