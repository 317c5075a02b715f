// Dockline's settings: the slot count as the profile reads it, commands and their window
// titles, the path handed to the shell, the start-hidden switch and the launch error texts.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/tests/fake_ini_file_access.h"
#include "dockline/core/dockline_settings.h"

namespace {

class DocklineSettingsTest : public testing_support::FakeIniFile, public ::testing::Test {
protected:
    void Settings(const std::wstring& lines) { PutUtf16(L"[Setting]\r\n" + lines); }
    dockline::DocklineSettings settings{ini};
};

TEST_F(DocklineSettingsTest, SlotCountReadsHexadecimalAfterTwoSkippedCharacters) {
    Settings(L"LANG=DEU\r\n");
    EXPECT_EQ(settings.SlotCount(), 0) << "missing";
    EXPECT_EQ(settings.Language(), L"DEU");
    Settings(L"BUTTONS=0x07\r\n");
    EXPECT_EQ(settings.SlotCount(), 7);
    Settings(L"BUTTONS=0x3\r\n");
    EXPECT_EQ(settings.SlotCount(), 3);
    Settings(L"BUTTONS=13\r\n");
    EXPECT_EQ(settings.SlotCount(), 0) << "without 0x the first two characters are skipped";
    Settings(L"BUTTONS=7\r\n");
    EXPECT_EQ(settings.SlotCount(), 0);
    Settings(L"BUTTONS=0x0C\r\n");
    EXPECT_EQ(settings.SlotCount(), 7) << "the bar has seven slots";
    Settings(L"BUTTONS=0xFFFFFFFF\r\n");
    EXPECT_EQ(settings.SlotCount(), 0) << "a value that wraps negative means none";
    EXPECT_EQ(settings.Language(), L"ENG");
}

TEST_F(DocklineSettingsTest, CommandWindowTitlesOfTheSlotsInUse) {
    Settings(L"BUTTONS=0x05\r\nCMD2=Copperfold.exe\r\nCMD3=Tool\r\nCMD4=\r\nCMD5=tools\\My.Helper.exe\r\n"
             L"CMD6=Beyond.exe\r\nTIP2=Backup\r\nBUTTON1=bar.png\r\n");
    EXPECT_EQ(settings.Command(2), L"Copperfold.exe");
    EXPECT_EQ(settings.CommandByKey(L"CMD3"), L"Tool");
    EXPECT_EQ(settings.Tip(2), L"Backup");
    EXPECT_EQ(settings.Tip(3), L"");
    EXPECT_EQ(settings.SlotImage(1), L"bar.png");
    // No dot: no title; a path keeps its folders (and so matches no title); slot 6 is beyond the count.
    EXPECT_EQ(settings.CommandWindowTitles(), (std::vector<std::wstring>{L"Copperfold", L"tools\\My.Helper"}));
}

TEST_F(DocklineSettingsTest, ACommandWithoutANameBeforeItsDotHasNoWindowTitle) {
    // An empty title would stand for every untitled window of every program.
    Settings(L"BUTTONS=0x04\r\nCMD2=Copperfold.exe\r\nCMD3=.exe\r\nCMD4=.\r\n");
    EXPECT_EQ(settings.CommandWindowTitles(), (std::vector<std::wstring>{L"Copperfold"}));
    EXPECT_EQ(dockline::WindowTitleOfCommand(L".exe"), std::nullopt);
    EXPECT_EQ(dockline::WindowTitleOfCommand(L"Tool.exe"), L"Tool");
}

TEST(DocklineCommands, PathsAreJoinedWhole) {
    EXPECT_EQ(dockline::ProgramDirectory(L"C:\\Program Files\\Dockline\\Dockline.exe"), L"C:\\Program Files\\Dockline\\");
    EXPECT_EQ(dockline::ProgramDirectory(L"Dockline.exe"), L"");
    EXPECT_EQ(dockline::JoinCommandPath(L"C:\\Bar\\", L"Copperfold.exe"), L"C:\\Bar\\Copperfold.exe");
    EXPECT_EQ(dockline::JoinCommandPath(L"C:\\Bar\\", L""), L"C:\\Bar\\") << "an empty command opens the folder";

    const std::wstring directory = L"C:\\" + std::wstring(200, L'd') + L"\\";
    EXPECT_TRUE(dockline::JoinCommandPath(directory, std::wstring(259 - directory.size(), L'x')));
    EXPECT_FALSE(dockline::JoinCommandPath(directory, std::wstring(260 - directory.size(), L'x')))
        << "a path that does not fit with its NUL is refused, never cut";
}

TEST(DocklineCommands, StartHiddenSwitchIsExactAndLowerCase) {
    EXPECT_TRUE(dockline::HasStartHiddenSwitch(L"/a"));
    EXPECT_TRUE(dockline::HasStartHiddenSwitch(L"-x /a"));
    EXPECT_TRUE(dockline::HasStartHiddenSwitch(L"/all"));
    EXPECT_FALSE(dockline::HasStartHiddenSwitch(L"/A"));
    EXPECT_FALSE(dockline::HasStartHiddenSwitch(L"/ a"));
    EXPECT_FALSE(dockline::HasStartHiddenSwitch(L""));
}

TEST(DocklineCommands, LaunchErrorTexts) {
    EXPECT_EQ(dockline::LaunchErrorText(2), L"The specified file was not found.");
    EXPECT_EQ(dockline::LaunchErrorText(0), L"The operating system is out of memory or resources.");
    EXPECT_EQ(dockline::LaunchErrorText(32), L"The specified DLL was not found.");
    EXPECT_EQ(dockline::LaunchErrorText(1), L"") << "a result the table does not know";
    EXPECT_EQ(dockline::LaunchErrorText(4), L"");
}

}  // namespace
