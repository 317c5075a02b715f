// Dockline.exe on the simulated enclosure, through the registered component: a rig with an
// enclosure of the polled model, one of another model and another maker's stick. Checked: the
// device table that reaches Copperfold byte by byte, that only the polled model's button is
// read (the rig's command log), the hand-over of a press and the pause until 0x0409 or an idle
// answer to the busy query, one run for one press, volume arrivals and removals with their
// notices and forwarding, a hostile short broadcast, and programs that stop answering the
// hand-over.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/core/device_table.h"
#include "common/core/text_codec.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/polling_thread.h"
#include "common/tests/win32/rigctl_run.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "dockline_process.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "test_windows.h"

namespace {

using dockline_test::DocklineProcess;
using dockline_test::ProgramWindow;
using dockline_test::WaitFor;

constexpr char kBackupInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr char kOtherModelInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0002&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr char kStickInterface[] =
    "\\\\?\\usbstor#disk&ven_other&prod_stick&rev_1.00#0003&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

std::string RigText() {
    return std::string("[controller]\nname = xhci\nports = 4\n"
                       "path = \\\\?\\pci#ven_1b2c&dev_0d0e#3&11583659&0&a0#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}\n"
                       "root_hub = USB#ROOT_HUB20#4&2a1b3c4d&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}\n"
                       "\n[enclosure]\nname = backup\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\n"
                       "sectors = 0x100000\nparent = xhci\nport = 1\nserial_number = 0001\ninterface = ") +
           kBackupInterface +
           "\ndrive = E: E\n"
           "\n[enclosure]\nname = second model\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4E\nmodel = 3452\n"
           "inquiry_product = Duo Enclosure\nsectors = 0x100000\nparent = xhci\nport = 2\nserial_number = 0002\n"
           "interface = " +
           kOtherModelInterface +
           "\ndrive = K: K\n"
           "\n[enclosure]\nname = stick\nusb_vendor_id = 0x0781\nusb_product_id = 0x5567\nsignature = ABCD\n"
           "inquiry_vendor = Other\ninquiry_product = Stick\nsectors = 0x10000\nparent = xhci\nport = 3\n"
           "serial_number = 0003\ninterface = " +
           kStickInterface + "\ndrive = H: H\n";
}

std::string Utf8(const std::wstring& text) { return common::WideToUtf8(text).value_or(""); }

class DocklineOnRig : public ::testing::Test {
protected:
    // The component, registered in the test's prefix from beside the test (or unregistered).
    static HRESULT Registration(const char* exportName) { return win32_test::CallComponentRegistration(exportName); }
    static void SetUpTestSuite() { ASSERT_EQ(Registration("DllRegisterServer"), S_OK); }

    void SetUp() override {
        rigFile = folder.File(L"test.rig");
        std::ofstream(std::filesystem::path(rigFile)) << RigText();
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());  // inherited by the bar
        dockline_test::InstallDockline(folder.Path());
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"dockline_test_command.exe"),
                                   folder.File(L"Helper.exe"));
        testing_support::WriteBytes(
            folder.File(L"Dockline.ini"),
            testing_support::Utf16LeFile(L"[Setting]\r\nBUTTONS=0x03\r\nBUTTON1=bar.png\r\nBUTTON2=copperfold.png\r\n"
                                         L"CMD2=Helper.exe\r\nCMD3=DocklineRigTool.exe\r\n[ENG]\r\n"
                                         L"Device Insert1=Plugged, in the tray\r\nDevice Insert2=Plugged, bar shown\r\n"
                                         L"Device Removed2=Unplugged\r\n"));
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", nullptr); }

    int Rigctl(const std::vector<std::string>& arguments, std::string* printed = nullptr) {
        std::vector<std::string> all{Utf8(rigFile)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::ostringstream out, err;
        const int status = rig::RunRigControl(rig::PlatformFileSystem(), all, out, err);
        if (printed) *printed = out.str();
        return status;
    }
    std::vector<rig::LogRecord> ButtonCommands() {
        std::ifstream in(std::filesystem::path(folder.File(L"test.log")), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<rig::LogRecord> commands;
        for (rig::LogRecord& record : rig::ParseCommandLog(bytes).records) {
            const std::uint8_t* cdb = record.header.cdb;
            if (cdb[0] == 0xEE && cdb[1] == 0x80 && (cdb[6] == 0x87 || cdb[6] == 0x88)) commands.push_back(std::move(record));
        }
        return commands;
    }
    // Button reads in the command log, by enclosure.
    std::vector<int> ButtonReads() {
        std::vector<int> reads;
        for (const rig::LogRecord& record : ButtonCommands()) {
            if (record.header.cdb[6] == 0x87) reads.push_back(record.enclosure);
        }
        return reads;
    }
    // Writes of the acknowledgement (2) that releases a press.
    int Acknowledgements() {
        int count = 0;
        for (const rig::LogRecord& record : ButtonCommands()) {
            if (record.header.cdb[6] == 0x88 && !record.dataOut.empty() && record.dataOut[0] == 0x02) ++count;
        }
        return count;
    }
    int Launches() {
        std::ifstream in(std::filesystem::path(folder.File(L"launches.txt")));
        int lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        return lines;
    }
    static void Broadcast(HWND bar, WPARAM event, DWORD declaredSize, DWORD mask) {
        DEV_BROADCAST_VOLUME volume{};
        volume.dbcv_size = declaredSize;
        volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume.dbcv_unitmask = mask;
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(bar, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 20000,
                              &answer);
    }
    // rigctl.exe, as a user of the demo runs it; its exit code.
    long RunRigctl(const std::wstring& arguments) {
        return win32_test::RunRigctl(rigFile, arguments,
                                     [](const std::function<bool()>& done) { WaitFor(done, std::chrono::seconds(30)); });
    }
    static std::wstring NoticeText(const DocklineProcess& dockline) {
        for (HWND notice = ::FindWindowW(L"DocklineNotice", nullptr); notice;
             notice = ::FindWindowExW(nullptr, notice, L"DocklineNotice", nullptr)) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(notice, &owner);
            if (owner != dockline.ProcessId() || !::IsWindowVisible(notice)) continue;
            wchar_t text[256] = {};
            ::GetWindowTextW(notice, text, 256);
            return text;
        }
        return {};
    }

    // Whether Dockline's notice showed `text` while the watch lived, read every 10 ms on a thread
    // of its own. The notice stays about three seconds, and rigctl sends its broadcast to every
    // window in turn (each may take up to 5 s to answer), so it can end after the notice has gone.
    class NoticeWatch {
    public:
        NoticeWatch(const DocklineProcess& dockline, std::wstring text)
            : poll_([&dockline, wanted = std::move(text)] { return NoticeText(dockline) == wanted; },
                    std::chrono::minutes(10)) {}  // longer than any test takes
        bool Seen() const { return poll_.Found(); }

    private:
        testing_support::PollingThread poll_;
    };

    testing_support::TempFolder folder;
    std::wstring rigFile;
};

TEST_F(DocklineOnRig, PressIsHandedToCopperfoldWithTheDeviceTable) {
    ProgramWindow copperfold(L"Copperfold", 1000);  // its run goes on until it says otherwise
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);

    // Polling: once a second, only the enclosure of the polled model (number 0).
    ASSERT_TRUE(WaitFor([&] { return ButtonReads().size() >= 1; }, std::chrono::seconds(15)));
    const size_t before = ButtonReads().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    const std::vector<int> reads = ButtonReads();
    EXPECT_GE(reads.size() - before, 2u);
    EXPECT_LE(reads.size() - before, 4u);
    for (const int enclosure : reads) EXPECT_EQ(enclosure, 0);

    // A button read whose reply brings no byte is no press (an empty byte would read as one).
    ASSERT_EQ(Rigctl({"fail", "short-reply", "EE", "80", "..", "..", "..", "..", "87"}), 0);
    const size_t shortReads = ButtonReads().size();
    ASSERT_TRUE(WaitFor([&] { return ButtonReads().size() >= shortReads + 2; }, std::chrono::seconds(5)))
        << "polling goes on (it rests only while a handed-over press runs)";
    EXPECT_TRUE(copperfold.Copies().empty());
    EXPECT_EQ(Launches(), 0);
    ASSERT_EQ(Rigctl({"fail", "off"}), 0);

    ASSERT_EQ(Rigctl({"press"}), 0);
    ASSERT_TRUE(WaitFor([&] { return !copperfold.Copies().empty() && !copperfold.Messages().empty(); }));
    const dockline_test::ReceivedCopy copy = copperfold.Copies().front();
    ASSERT_EQ(copy.bytes.size(), 26628u);
    common::DeviceTable table{};
    std::memcpy(&table, copy.bytes.data(), sizeof table);
    ASSERT_EQ(table.count, 2) << "the stick of another maker is not listed";
    const common::DeviceTableEntry& backup = table.entries[0];
    EXPECT_EQ(copy.data, backup.listIndex);
    EXPECT_EQ(+backup.modelCode, 1);
    EXPECT_STREQ(backup.devicePath, kBackupInterface);
    EXPECT_EQ(backup.driveLetterCount, 1);
    EXPECT_EQ(backup.driveLetters[0], 'E');
    EXPECT_EQ(std::string(backup.productText, 16), "USB Enclosure   ");
    EXPECT_EQ(+backup.vendorId, 0x1A2B);
    EXPECT_EQ(+backup.productId, 0x3C4D);
    const common::DeviceTableEntry& second = table.entries[1];
    EXPECT_NE(second.listIndex, backup.listIndex);
    EXPECT_EQ(+second.modelCode, 2);
    EXPECT_STREQ(second.devicePath, kOtherModelInterface);
    EXPECT_EQ(second.driveLetters[0], 'K');
    EXPECT_EQ(std::string(second.productText, 16), "Duo Enclosure   ");
    EXPECT_EQ(+second.productId, 0x3C4E);
    EXPECT_EQ(copperfold.Messages().front(), (std::pair<UINT, WPARAM>{0x0405, 0}));
    EXPECT_TRUE(WaitFor([&] { return Launches() == 1; })) << "CMD2 started";

    // Polling rests until Copperfold reports the end of its run; meanwhile the bar asks it every
    // few seconds whether the run goes on, only asking (a run of its window is not stopped).
    const size_t handedOver = ButtonReads().size();
    EXPECT_TRUE(WaitFor([&] { return copperfold.BusyQueries() >= 1; }, std::chrono::seconds(8)));
    EXPECT_EQ(copperfold.LastBusyQueryParam(), 1u);
    EXPECT_EQ(ButtonReads().size(), handedOver);
    ASSERT_EQ(Rigctl({"release"}), 0);
    ::PostMessageW(bar, WM_USER + 9, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return ButtonReads().size() > handedOver; }, std::chrono::seconds(5)));
    EXPECT_EQ(copperfold.Copies().size(), 1u);
    EXPECT_EQ(Acknowledgements(), 0) << "released already: nothing for the bar to acknowledge";
}

// The window that took the press neither acknowledges it nor reports the end of its run (it
// could not open the enclosure, and its message was filtered): one press is still one run.
TEST_F(DocklineOnRig, APressWhoseRunEndIsNeverReportedRunsOnceAndIsAcknowledgedByTheBar) {
    ProgramWindow copperfold(L"Copperfold", 2);  // busy at the first two questions, then idle
    DocklineProcess dockline(folder.Path(), L"");
    ASSERT_NE(dockline.WaitForWindow(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonReads().size() >= 1; }, std::chrono::seconds(15)));
    ASSERT_EQ(Rigctl({"press"}), 0);
    ASSERT_TRUE(WaitFor([&] { return copperfold.Copies().size() == 1; }));
    const size_t handedOver = ButtonReads().size();

    ASSERT_TRUE(WaitFor([&] { return copperfold.BusyQueries() >= 2; }, std::chrono::seconds(10)));
    EXPECT_LE(ButtonReads().size(), handedOver + 1) << "polling rests while the run goes on";
    ASSERT_TRUE(WaitFor([&] { return Acknowledgements() == 1; }, std::chrono::seconds(10)))
        << "after the idle answer the bar releases the press itself";
    std::string state;
    Rigctl({"state"}, &state);
    EXPECT_NE(state.find("button          released"), std::string::npos) << state;
    WaitFor([] { return false; }, std::chrono::seconds(4));
    EXPECT_GT(ButtonReads().size(), handedOver + 2) << "polling goes on";
    EXPECT_EQ(copperfold.Copies().size(), 1u) << "no second run";
    EXPECT_EQ(Launches(), 1);
    EXPECT_EQ(Acknowledgements(), 1);
}

TEST_F(DocklineOnRig, VolumeArrivalsAndRemovalsAreNoticedAndForwarded) {
    ProgramWindow tool(L"DocklineRigTool");
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));

    Broadcast(bar, DBT_DEVICEARRIVAL, sizeof(DEV_BROADCAST_VOLUME), 1u << ('E' - 'A'));
    EXPECT_TRUE(WaitFor([&] { return NoticeText(dockline) == L"Plugged, bar shown"; }));
    ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() == 1; }));
    EXPECT_EQ(tool.Messages()[0], (std::pair<UINT, WPARAM>{0x0407, 1u << ('E' - 'A')}));
    ASSERT_EQ(tool.Copies().size(), 1u);
    EXPECT_EQ(tool.Copies()[0].data, 1u << ('E' - 'A'));
    EXPECT_EQ(tool.Copies()[0].bytes.size(), 26628u);

    // Another maker's stick: forwarded all the same.
    Broadcast(bar, DBT_DEVICEARRIVAL, sizeof(DEV_BROADCAST_VOLUME), 1u << ('H' - 'A'));
    ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() == 2; }));
    EXPECT_EQ(tool.Messages()[1], (std::pair<UINT, WPARAM>{0x0407, 1u << ('H' - 'A')}));

    // A record whose header says it is shorter than a volume record, and another device type.
    Broadcast(bar, DBT_DEVICEARRIVAL, 4, 1u << ('E' - 'A'));
    Broadcast(bar, DBT_DEVICEREMOVECOMPLETE, 12, 1u << ('E' - 'A'));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(tool.Messages().size(), 2u) << "ignored";
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(bar, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0) << "still running";

    ASSERT_EQ(Rigctl({"unplug"}), 0);
    Broadcast(bar, DBT_DEVICEREMOVECOMPLETE, sizeof(DEV_BROADCAST_VOLUME), 1u << ('E' - 'A'));
    EXPECT_TRUE(WaitFor([&] { return NoticeText(dockline) == L"Unplugged"; }));
    ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() == 3; }));
    EXPECT_EQ(tool.Messages()[2], (std::pair<UINT, WPARAM>{0x0408, 1u << ('E' - 'A')}));
    common::DeviceTable table{};
    std::memcpy(&table, tool.Copies()[2].bytes.data(), sizeof table);
    EXPECT_EQ(table.count, 1) << "rescanned after the removal";
}

TEST_F(DocklineOnRig, ProgramsThatStopAnsweringHoldUpNeitherPollingNorExit) {
    ProgramWindow tool(L"DocklineRigTool", 0, ProgramWindow::Hang::OnCopyData);
    ProgramWindow copperfold(L"Copperfold", 0, ProgramWindow::Hang::OnCopyData);
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ButtonReads().size() >= 1; }, std::chrono::seconds(15)));

    // The command's program stops answering the table of a volume arrival: polling goes on.
    Broadcast(bar, DBT_DEVICEARRIVAL, sizeof(DEV_BROADCAST_VOLUME), 1u << ('E' - 'A'));
    ASSERT_TRUE(WaitFor([&] { return tool.Hung(); }));
    size_t reads = ButtonReads().size();
    EXPECT_TRUE(WaitFor([&] { return ButtonReads().size() >= reads + 2; }, std::chrono::seconds(8)))
        << "polling stopped behind the hung program";

    // So does Copperfold, at a press: it was not handed over, so polling goes on.
    ASSERT_EQ(Rigctl({"press"}), 0);
    ASSERT_TRUE(WaitFor([&] { return copperfold.Hung(); }, std::chrono::seconds(8)));
    ASSERT_EQ(Rigctl({"release"}), 0);
    reads = ButtonReads().size();
    EXPECT_TRUE(WaitFor([&] { return ButtonReads().size() >= reads + 2; }, std::chrono::seconds(8)))
        << "polling stopped behind hung Copperfold";

    // And Exit still ends the bar.
    ::PostMessageW(bar, WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(std::chrono::seconds(20)), 0);
}

TEST_F(DocklineOnRig, WithoutTheComponentTheBarRunsWithoutDeviceFunctions) {
    ASSERT_EQ(Registration("DllUnregisterServer"), S_OK);
    ProgramWindow tool(L"DocklineRigTool");
    ASSERT_EQ(Rigctl({"press"}), 0);
    {
        DocklineProcess dockline(folder.Path(), L"");
        const HWND bar = dockline.WaitForWindow();
        ASSERT_NE(bar, nullptr);
        WaitFor([] { return false; }, std::chrono::milliseconds(2500));
        EXPECT_TRUE(ButtonReads().empty()) << "nothing to poll";
        EXPECT_EQ(Launches(), 0);
        Broadcast(bar, DBT_DEVICEARRIVAL, sizeof(DEV_BROADCAST_VOLUME), 1u << ('E' - 'A'));
        ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() == 1; })) << "volume events are still forwarded";
        common::DeviceTable table{};
        std::memcpy(&table, tool.Copies()[0].bytes.data(), sizeof table);
        EXPECT_EQ(table.count, 0);
        ::PostMessageW(bar, WM_CLOSE, 0, 0);
        EXPECT_EQ(dockline.WaitForExit(std::chrono::seconds(10)), 0);
    }
    EXPECT_EQ(Registration("DllRegisterServer"), S_OK);
}

TEST_F(DocklineOnRig, RigctlPlugAndUnplugReachTheBarAsTheSystemsBroadcasts) {
    ProgramWindow tool(L"DocklineRigTool");
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));
    const WPARAM e = 1u << ('E' - 'A');

    std::filesystem::create_directories(folder.File(L"E"));
    testing_support::WriteBytes(folder.File(L"E\\on-the-enclosure.txt"), "backup");

    {
        const NoticeWatch unplugged(dockline, L"Unplugged");
        ASSERT_EQ(RunRigctl(L"unplug"), 0);
        EXPECT_TRUE(WaitFor([&] { return unplugged.Seen(); }));
    }
    ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() == 1; }));
    EXPECT_EQ(tool.Messages()[0], (std::pair<UINT, WPARAM>{0x0408, e}));
    EXPECT_FALSE(std::filesystem::exists(L"E:\\on-the-enclosure.txt")) << "the letter is gone";

    // Plugged again while the bar waits in the notification area: the notice for that state,
    // and a click on it brings the bar back.
    ::PostMessageW(bar, WM_USER + 2, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(bar) == FALSE; }));
    {
        const NoticeWatch plugged(dockline, L"Plugged, in the tray");
        ASSERT_EQ(RunRigctl(L"plug"), 0);
        EXPECT_TRUE(WaitFor([&] { return plugged.Seen(); }));
    }
    ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() == 2; }));
    EXPECT_EQ(tool.Messages()[1], (std::pair<UINT, WPARAM>{0x0407, e}));
    common::DeviceTable table{};
    std::memcpy(&table, tool.Copies()[1].bytes.data(), sizeof table);
    EXPECT_EQ(table.count, 2);
    ::PostMessageW(bar, WM_USER + 123, 0, 0);  // what the notice posts when clicked
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));
    EXPECT_TRUE(std::filesystem::exists(L"E:\\on-the-enclosure.txt")) << "E: stands for the enclosure's folder";

    ASSERT_EQ(RunRigctl(L"unplug"), 0);
    ASSERT_TRUE(WaitFor([&] { return tool.Messages().size() >= 3; }));
    WaitFor([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(tool.Messages().size(), 3u) << "one broadcast per change";
    EXPECT_FALSE(std::filesystem::exists(L"E:\\on-the-enclosure.txt"));

    EXPECT_EQ(RunRigctl(L"plug --enclosure 7"), 1) << "no such enclosure";
}

}  // namespace
