// The one-touch backup end to end under Wine: the simulated enclosure, the registered
// component, Dockline.exe and Copperfold.exe. A press on the rig makes Dockline start Copperfold
// and hand it the device table; Copperfold runs the jobs on the enclosure's drive, acknowledges
// the press once and Dockline polls again; a Copperfold that cannot acknowledge still gets one
// run from one press. Closing Dockline during a button run waits for the run and then closes
// Copperfold.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/core/ini_file.h"
#include "common/core/text_codec.h"
#include "common/tests/win32/child_process.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/rigctl_run.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/tests/win32/button_log.h"
#include "copperfold/tests/win32/enclosure_rig.h"
#include "copperfold/win32/column_tree_ctrl.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/run_log_file.h"
#include "dockline/tests/win32/dockline_process.h"
#include "rig/core/rig_control.h"

namespace {

using dockline_test::DocklineProcess;
using dockline_test::WaitFor;
using namespace std::chrono_literals;

std::string Utf8(const std::wstring& text) { return common::WideToUtf8(text).value_or(""); }

class OneTouchChain : public ::testing::Test {
protected:
    static HRESULT Registration(const char* exportName) { return win32_test::CallComponentRegistration(exportName); }
    static void SetUpTestSuite() { ASSERT_EQ(Registration("DllRegisterServer"), S_OK); }

    void SetUp() override {
        rigFile = folder.File(L"chain.rig");
        testing_support::WriteEnclosureRig(rigFile);
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());  // inherited by both programs
        ASSERT_EQ(RunRigctl(L"plug"), 0) << "E: mapped to the enclosure's folder";

        dockline_test::InstallDockline(folder.Path());
        testing_support::WriteBytes(folder.File(L"Dockline.ini"),
                                    testing_support::Utf16LeFile(L"[Setting]\r\nBUTTONS=0x02\r\nBUTTON1=bar.png\r\n"
                                                                 L"BUTTON2=copperfold.png\r\nCMD2=Copperfold.exe\r\n"));
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"),
                                   folder.File(L"Copperfold.exe"));
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                                   folder.File(L"Copperfold.ini"));
    }
    void TearDown() override {
        RunRigctl(L"unplug");
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", nullptr);
    }

    void AddJob(const std::wstring& source, const std::wstring& target, JobType type) {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()));
        ASSERT_EQ(doc.AddJob(source, target, type), CCopperfoldDoc::AddResult::Added);
    }
    std::wstring MakeSource(const std::wstring& name, int files) {
        const std::wstring path = folder.File(name);
        std::filesystem::create_directories(path);
        for (int i = 0; i < files; ++i) {
            testing_support::WriteBytes(path + L"\\doc" + std::to_wstring(i) + L".txt", std::string(2048, 'd'));
        }
        return path;
    }
    int Rigctl(const std::vector<std::string>& arguments, std::string* printed = nullptr) {
        std::vector<std::string> all{Utf8(rigFile)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::ostringstream out, err;
        const int status = rig::RunRigControl(rig::PlatformFileSystem(), all, out, err);
        if (printed) *printed = out.str();
        return status;
    }
    bool EnclosurePlugged() {
        std::string state;
        Rigctl({"state"}, &state);
        return state.find("  USB             plugged") != std::string::npos;
    }
    long RunRigctl(const std::wstring& arguments) {
        return win32_test::RunRigctl(rigFile, arguments,
                                     [](const std::function<bool()>& done) { WaitFor(done, 30s); });
    }
    testing_support::ButtonCommands ButtonLog() const { return testing_support::ButtonLog(folder.File(L"chain.log")); }
    static HWND CopperfoldWindow() { return ::FindWindowW(nullptr, L"Copperfold"); }
    static bool RunDialogOpen() {
        return ::FindWindowW(L"#32770", L"Backup") != nullptr || ::FindWindowW(L"#32770", L"Sync") != nullptr;
    }
    static win32::UniqueHandle ProcessOf(HWND window) {
        DWORD id = 0;
        ::GetWindowThreadProcessId(window, &id);
        return win32::UniqueHandle(::OpenProcess(SYNCHRONIZE, FALSE, id));
    }
    // The number of items in one of Copperfold's drive trees (read across the process boundary:
    // a count needs no buffer in the other process).
    static int TreeItems(int treeId) {
        const HWND form = ::FindWindowExW(CopperfoldWindow(), nullptr, L"#32770", nullptr);
        const HWND columns = form ? ::GetDlgItem(form, treeId) : nullptr;
        const HWND tree = columns ? ::GetDlgItem(columns, CColumnTreeCtrl::kTreeId) : nullptr;
        return tree ? static_cast<int>(::SendMessageW(tree, TVM_GETCOUNT, 0, 0)) : -1;
    }
    bool Exists(const std::wstring& relative) const { return std::filesystem::exists(folder.File(relative)); }

    testing_support::TempFolder folder;
    std::wstring rigFile;
};

TEST_F(OneTouchChain, APressRunsTheEnclosuresJobsAcknowledgesOnceAndPollingResumes) {
    const std::wstring documents = MakeSource(L"Documents", 3);
    const std::wstring laptop = MakeSource(L"Laptop", 2);
    AddJob(documents, L"E:\\Backup", JobType::Backup);
    AddJob(laptop, L"E:\\Laptop", JobType::Sync);
    AddJob(documents, folder.File(L"NotOnTheEnclosure"), JobType::Backup);

    DocklineProcess dockline(folder.Path(), L"");
    ASSERT_NE(dockline.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonLog().reads >= 1; }, 15s)) << "Dockline polls the button";
    ASSERT_EQ(Rigctl({"press"}), 0);

    ASSERT_TRUE(WaitFor([&] { return ButtonLog().readsAfterAcknowledgement >= 1; }, 60s))
        << "acknowledged, then polled again";
    const testing_support::ButtonCommands seen = ButtonLog();
    EXPECT_EQ(seen.acknowledgements, 1);
    EXPECT_TRUE(Exists(L"enclosure\\Backup\\Documents\\doc2.txt"));
    EXPECT_TRUE(Exists(L"enclosure\\Laptop\\doc1.txt"));
    EXPECT_FALSE(Exists(L"NotOnTheEnclosure")) << "a job on another drive does not run";

    const HWND copperfold = CopperfoldWindow();
    ASSERT_NE(copperfold, nullptr);
    DWORD_PTR busy = 99;
    ::SendMessageTimeoutW(copperfold, WM_USER + 6, 0, 0, SMTO_ABORTIFHUNG, 5000, &busy);
    EXPECT_EQ(busy, 0u) << "the run is over";
    const win32::UniqueHandle process = ProcessOf(copperfold);
    ::PostMessageW(dockline.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(15s), 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 15000), WAIT_OBJECT_0) << "Dockline closed Copperfold";
}

// A Copperfold that cannot open the enclosure (as one without device access: here it runs
// without the simulated machine) runs the press's jobs but cannot acknowledge the press. The bar
// acknowledges it once the run has ended, and one press stays one run.
TEST_F(OneTouchChain, APressThatCopperfoldCannotAcknowledgeRunsOnce) {
    AddJob(MakeSource(L"Documents", 3), L"E:\\Backup", JobType::Backup);
    ::DeleteFileW(copperfold::RunLogPath().c_str());
    const auto buttonRuns = testing_support::ButtonRuns;

    ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", nullptr);
    win32_test::ChildProcess unreachable(folder.File(L"Copperfold.exe"), L"", folder.Path());
    ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());
    ASSERT_TRUE(WaitFor([] { return CopperfoldWindow() != nullptr; }, 30s));
    DocklineProcess dockline(folder.Path(), L"");
    ASSERT_NE(dockline.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonLog().reads >= 1; }, 15s));
    ASSERT_EQ(Rigctl({"press"}), 0);

    ASSERT_TRUE(WaitFor([&] { return buttonRuns() >= 1; }, 60s)) << "the press ran the enclosure's jobs";
    EXPECT_TRUE(WaitFor([&] { return ButtonLog().acknowledgements >= 1; }, 15s)) << "the bar acknowledged the press";
    WaitFor([] { return false; }, 10s);
    const testing_support::ButtonCommands seen = ButtonLog();
    EXPECT_EQ(buttonRuns(), 1) << testing_support::ReadBytes(copperfold::RunLogPath());
    EXPECT_EQ(seen.acknowledgements, 1);
    EXPECT_GE(seen.readsAfterAcknowledgement, 5) << "and polls again";
    EXPECT_TRUE(Exists(L"enclosure\\Backup\\Documents\\doc2.txt"));

    ::PostMessageW(dockline.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(15s), 0);
    EXPECT_EQ(unreachable.WaitForExit(15s), 0) << "Dockline closed Copperfold";
}

TEST_F(OneTouchChain, ClosingDocklineDuringAButtonRunWaitsForTheRunThenClosesCopperfold) {
    const std::wstring documents = MakeSource(L"Documents", 400);
    AddJob(documents, L"E:\\Backup", JobType::Backup);

    DocklineProcess dockline(folder.Path(), L"");
    ASSERT_NE(dockline.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonLog().reads >= 1; }, 15s));
    ASSERT_EQ(Rigctl({"press"}), 0);
    ASSERT_TRUE(WaitFor([] { return RunDialogOpen(); }, 30s)) << "the button's run started";
    const win32::UniqueHandle process = ProcessOf(CopperfoldWindow());
    ASSERT_TRUE(process);
    ::PostMessageW(dockline.Window(), WM_CLOSE, 0, 0);

    EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0) << "Copperfold closed after its run";
    EXPECT_EQ(dockline.WaitForExit(15s), 0);
    EXPECT_EQ(ButtonLog().acknowledgements, 1) << "the run ended normally before the program closed";
    EXPECT_TRUE(Exists(L"enclosure\\Backup\\Documents\\doc399.txt"));
}

TEST_F(OneTouchChain, UnpluggingAndPluggingTheEnclosureDropsAndAddsItsDriveInTheDeviceTree) {
    DocklineProcess dockline(folder.Path(), L"");
    ASSERT_NE(dockline.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonLog().reads >= 1; }, 15s));
    ASSERT_EQ(Rigctl({"press"}), 0);  // no job: Copperfold starts, acknowledges and stays open
    ASSERT_TRUE(WaitFor([&] { return ButtonLog().readsAfterAcknowledgement >= 1; }, 60s));
    ASSERT_TRUE(WaitFor([] { return TreeItems(IDC_DEVICE_TREE) == 1; }, 15s)) << "E:\\ in the device tree";
    const int localItems = TreeItems(IDC_LOCAL_TREE);
    ASSERT_GT(localItems, 0);

    ASSERT_EQ(RunRigctl(L"unplug"), 0);
    EXPECT_TRUE(WaitFor([] { return TreeItems(IDC_DEVICE_TREE) == 0; }, 30s)) << "E:\\ dropped";
    EXPECT_EQ(TreeItems(IDC_LOCAL_TREE), localItems) << "and not shown as a local drive";
    ASSERT_EQ(RunRigctl(L"plug"), 0);
    EXPECT_TRUE(WaitFor([] { return TreeItems(IDC_DEVICE_TREE) == 1; }, 30s)) << "E:\\ back";
    EXPECT_EQ(TreeItems(IDC_LOCAL_TREE), localItems);

    const win32::UniqueHandle process = ProcessOf(CopperfoldWindow());
    ::PostMessageW(dockline.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(15s), 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 15000), WAIT_OBJECT_0);
}

// With "EjectAfterButtonRun" set, a successful button run ends with the enclosure stopped for
// unplugging: after the acknowledgement and the resume message, and only when the system
// accepts; a veto leaves it plugged and says so.
TEST_F(OneTouchChain, AButtonRunCanEndWithTheEnclosureReadyToUnplug) {
    AddJob(MakeSource(L"Documents", 3), L"E:\\Backup", JobType::Backup);
    CIniFile(folder.File(L"Copperfold.ini")).WriteInt(L"Setting", L"EjectAfterButtonRun", 1);
    ::DeleteFileW(copperfold::RunLogPath().c_str());
    const auto runLog = [] { return testing_support::ReadBytes(copperfold::RunLogPath()); };

    ASSERT_EQ(Rigctl({"eject", "veto"}), 0);
    DocklineProcess dockline(folder.Path(), L"");
    ASSERT_NE(dockline.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonLog().reads >= 1; }, 15s));
    ASSERT_EQ(Rigctl({"press"}), 0);
    ASSERT_TRUE(WaitFor([&] { return runLog().find("  Eject: ") != std::string::npos; }, 60s)) << runLog();
    EXPECT_NE(runLog().find("  Eject: The enclosure was not stopped: a program is using a file on it."), std::string::npos)
        << runLog();
    EXPECT_LT(runLog().find("Result: done;"), runLog().find("  Eject: ")) << "under the run's record";
    EXPECT_TRUE(EnclosurePlugged());
    EXPECT_TRUE(WaitFor([&] { return ButtonLog().readsAfterAcknowledgement >= 1; }, 15s)) << "Dockline polls again";
    EXPECT_EQ(ButtonLog().acknowledgements, 1);

    ASSERT_EQ(Rigctl({"eject", "accept"}), 0);
    ASSERT_EQ(Rigctl({"press"}), 0);
    ASSERT_TRUE(WaitFor([&] { return runLog().find("  Eject: You can unplug the enclosure now.") != std::string::npos; },
                        60s))
        << runLog();
    EXPECT_EQ(ButtonLog().acknowledgements, 2) << "acknowledged before it was stopped";
    EXPECT_FALSE(EnclosurePlugged());

    const HWND copperfold = CopperfoldWindow();
    const win32::UniqueHandle process = ProcessOf(copperfold);
    ::PostMessageW(dockline.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(15s), 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 15000), WAIT_OBJECT_0);
}

}  // namespace
