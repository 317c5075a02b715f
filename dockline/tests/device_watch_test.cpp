// The device watch against a scripted host: what is polled, when a press is handed over, that
// one press starts one run, how arrivals are confirmed (with the rescan budget) and forwarded,
// and the notice's click.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device_list_builder.h"
#include "dockline/core/device_watch.h"

namespace {

using dockline_test::ListedDevice;
using dockline_test::Mask;

struct SentTable {
    std::wstring title;
    std::uintptr_t data;
    unsigned followUp;
    std::uintptr_t followUpParam;
    int count;  // the table's count at the time
};

class ScriptedHost : public dockline::DeviceWatchHost {
public:
    // Each scan answers the next list; the last one stays.
    std::deque<std::vector<ListedDevice>> scans{{}};
    std::map<std::uint8_t, std::uint8_t> buttons;  // slot -> state byte; missing: read fails
    std::vector<std::uint8_t> unopenable;
    bool acknowledgementFails = false;
    bool copperfoldBusy = true;  // the answer to the busy query
    std::string makerLetters;
    bool copperfoldOpen = true;
    bool inTray = false;
    std::vector<std::wstring> commandTitles{L"Copperfold", L"Tool"};

    int scanCount = 0, launches = 0, timerStarts = 0, timerStops = 0, restores = 0, hides = 0, busyQueries = 0;
    bool timerRunning = false;
    bool probeRunning = false;
    std::vector<std::string> calls;  // open/read/close in order
    std::vector<SentTable> sent;
    std::vector<std::wstring> notices;
    std::string trace;
    const dockline::DeviceWatch* watch = nullptr;

    void ScanDeviceList(dockline::DeviceList& list) override {
        ++scanCount;
        for (const ListedDevice& device : scans.front()) dockline_test::Put(list, device);
        if (scans.size() > 1) scans.pop_front();
    }
    bool OpenDevice(std::uint8_t slot, const char* path) override {
        calls.push_back("open " + std::to_string(slot) + " " + path);
        return std::find(unopenable.begin(), unopenable.end(), slot) == unopenable.end();
    }
    bool ReadButton(std::uint8_t slot, std::uint8_t& state) override {
        calls.push_back("read " + std::to_string(slot));
        const auto it = buttons.find(slot);
        if (it == buttons.end()) return false;
        state = it->second;
        return true;
    }
    bool AcknowledgeButton(std::uint8_t slot) override {
        calls.push_back("acknowledge " + std::to_string(slot));
        if (acknowledgementFails) return false;
        buttons[slot] = 0xFF;  // the device releases the press
        return true;
    }
    void CloseDevice(std::uint8_t slot) override { calls.push_back("close " + std::to_string(slot)); }
    bool IsMakerDrive(char letter) override { return makerLetters.find(letter) != std::string::npos; }
    void StartPollTimer() override {
        EXPECT_FALSE(timerRunning);
        timerRunning = true;
        ++timerStarts;
    }
    void StopPollTimer() override {
        EXPECT_TRUE(timerRunning);
        timerRunning = false;
        ++timerStops;
    }
    void StartProbeTimer() override {
        EXPECT_FALSE(probeRunning);
        probeRunning = true;
    }
    void StopProbeTimer() override {
        EXPECT_TRUE(probeRunning);
        probeRunning = false;
    }
    bool IsBusy(std::wstring_view title) override {
        EXPECT_EQ(title, L"Copperfold");
        ++busyQueries;
        return copperfoldOpen && copperfoldBusy;
    }
    void LaunchButtonCommand() override { ++launches; }
    bool SendTable(std::wstring_view title, std::uintptr_t data, const common::DeviceTable& table, unsigned followUp,
                   std::uintptr_t followUpParam) override {
        if (title == dockline::kCopperfoldTitle && !copperfoldOpen) return false;
        sent.push_back({std::wstring(title), data, followUp, followUpParam, table.count});
        return true;
    }
    std::vector<std::wstring> CommandWindowTitles() override { return commandTitles; }
    bool InTray() override { return inTray; }
    void ShowNotice(std::wstring_view key) override { notices.emplace_back(key); }
    void HideToTray() override { ++hides; }
    void RestoreFromTray() override { ++restores; }
    void Trace(std::string_view text) override { trace += text; }
};

const ListedDevice kModelOne{2, "4327", "E", "\\\\?\\usbstor#one"};
const ListedDevice kModelTwo{4, "3452", "K", "\\\\?\\usbstor#two"};
const ListedDevice kSecondModelOne{6, "4327", "F", "\\\\?\\usbstor#three"};

class DeviceWatchTest : public ::testing::Test {
protected:
    ScriptedHost host;
    dockline::DeviceWatch watch{host};
};

TEST_F(DeviceWatchTest, OnlyTheFirstModelIsPolledAndAPressIsHandedToCopperfold) {
    host.scans = {{kModelOne, kModelTwo}};
    host.buttons = {{2, 0xFF}, {4, 0xFD}};
    watch.ScanDevices();
    EXPECT_TRUE(host.timerRunning);
    EXPECT_EQ(watch.Table().count, 2);

    watch.OnPollTick();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"open 2 \\\\?\\usbstor#one", "read 2", "close 2"}));
    EXPECT_EQ(host.launches, 0) << "0xFF is released";
    EXPECT_TRUE(host.timerRunning) << "restarted after the tick";

    host.buttons[2] = 0xFD;
    watch.OnPollTick();
    EXPECT_EQ(host.launches, 1);
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].title, L"Copperfold");
    EXPECT_EQ(host.sent[0].data, 2u) << "the list index";
    EXPECT_EQ(host.sent[0].followUp, 0x0405u);
    EXPECT_FALSE(host.timerRunning) << "stopped until Copperfold reports the run's end";
    EXPECT_FALSE(watch.Polling());
    EXPECT_TRUE(host.probeRunning) << "or until it answers the busy query with idle";

    watch.OnResume();
    EXPECT_TRUE(host.timerRunning);
    watch.OnResume();
    EXPECT_EQ(host.timerStarts, 3) << "resuming a running timer does nothing";
}

TEST_F(DeviceWatchTest, StateBytesAndFailuresThatAreNoPress) {
    host.scans = {{kModelOne, kSecondModelOne}};
    watch.ScanDevices();
    for (const std::uint8_t state : {0x02, 0xFF, 0x06}) {
        host.buttons = {{2, state}, {6, state}};
        watch.OnPollTick();
    }
    host.buttons = {{6, 0xFD}};  // slot 2's read fails
    host.unopenable = {6};       // and slot 6 cannot be opened
    host.calls.clear();
    watch.OnPollTick();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"open 2 \\\\?\\usbstor#one", "read 2", "close 2",
                                                    "open 6 \\\\?\\usbstor#three"}));
    EXPECT_EQ(host.launches, 0);
    EXPECT_TRUE(host.timerRunning);
}

TEST_F(DeviceWatchTest, TwoPressesInOneTickAndNoCopperfoldWindow) {
    host.scans = {{kModelOne, kSecondModelOne}};
    host.buttons = {{2, 0xFD}, {6, 0xFD}};
    watch.ScanDevices();
    watch.OnPollTick();
    EXPECT_EQ(host.launches, 2);
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[0].data, 2u);
    EXPECT_EQ(host.sent[1].data, 6u);

    // Without Copperfold the command is launched at every tick and polling goes on.
    host.copperfoldOpen = false;
    watch.OnResume();
    watch.OnPollTick();  // the two presses handed over are released first
    EXPECT_EQ(host.launches, 2);
    host.buttons = {{2, 0xFD}};
    watch.OnPollTick();
    watch.OnPollTick();
    EXPECT_EQ(host.launches, 4);
    EXPECT_EQ(host.sent.size(), 2u);
    EXPECT_TRUE(host.timerRunning);
}

TEST_F(DeviceWatchTest, OnePressStartsOneRunWhateverBecomesOfItsAcknowledgement) {
    host.scans = {{kModelOne}};
    host.buttons = {{2, 0xFD}};
    watch.ScanDevices();
    watch.OnPollTick();
    ASSERT_EQ(host.launches, 1);
    EXPECT_TRUE(watch.AwaitingRunEnd());
    EXPECT_TRUE(host.probeRunning);

    // While the run goes on the window answers busy, and a rescan that resumes polling neither
    // runs the latched press again nor acknowledges it.
    watch.OnProbeTick();
    EXPECT_TRUE(watch.AwaitingRunEnd());
    EXPECT_FALSE(host.timerRunning);
    watch.ScanDevices();
    ASSERT_TRUE(host.timerRunning);
    host.calls.clear();
    watch.OnPollTick();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"open 2 \\\\?\\usbstor#one", "read 2", "close 2"}));
    EXPECT_EQ(host.launches, 1);

    // The run ends without Copperfold's acknowledgement (it could not open the device): the bar
    // releases the press itself at its next tick.
    watch.OnResume();
    EXPECT_FALSE(host.probeRunning);
    host.calls.clear();
    watch.OnPollTick();
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"open 2 \\\\?\\usbstor#one", "read 2", "acknowledge 2", "close 2"}));
    watch.OnPollTick();
    EXPECT_EQ(host.launches, 1);

    // The next press is a run of its own. Its end is never reported and the acknowledgement
    // fails too: the busy query finds the window idle, polling goes on, and the press, still
    // latched, starts nothing until the button reads released.
    host.buttons[2] = 0xFD;
    watch.OnPollTick();
    ASSERT_EQ(host.launches, 2);
    host.acknowledgementFails = true;
    host.copperfoldBusy = false;
    watch.OnProbeTick();
    EXPECT_FALSE(watch.AwaitingRunEnd());
    EXPECT_FALSE(host.probeRunning);
    EXPECT_TRUE(host.timerRunning);
    EXPECT_NE(host.trace.find("without word from Copperfold"), std::string::npos);
    for (int tick = 0; tick < 5; ++tick) watch.OnPollTick();
    EXPECT_EQ(host.launches, 2);
    host.buttons[2] = 0xFF;
    watch.OnPollTick();
    host.buttons[2] = 0xFD;
    watch.OnPollTick();
    EXPECT_EQ(host.launches, 3);

    // Unplugged during its run, a device forgets its press: plugged in again, its button is new.
    host.scans = {{}, {kModelOne}};
    watch.ScanDevices();
    watch.ScanDevices();
    watch.OnResume();
    watch.OnPollTick();
    EXPECT_EQ(host.launches, 4);
    EXPECT_EQ(host.busyQueries, 2);
}

TEST_F(DeviceWatchTest, TicksWhilePollingRestsAreIgnored) {
    // Any program can post the bar a timer message: while a run started by a press goes on, or
    // when there is nothing to poll, a tick reads no button and starts no timer.
    host.scans = {{kModelOne}};
    host.buttons = {{2, 0xFD}};
    watch.ScanDevices();
    watch.OnPollTick();
    ASSERT_EQ(host.launches, 1);
    ASSERT_FALSE(watch.Polling());
    host.calls.clear();
    watch.OnPollTick();
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(host.launches, 1);
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_FALSE(host.timerRunning);

    host.scans = {{kModelTwo}};
    watch.ScanDevices();
    watch.OnPollTick();
    EXPECT_FALSE(host.timerRunning) << "no device of the polled model";
    EXPECT_EQ(host.timerStarts, 1);
}

TEST_F(DeviceWatchTest, OnlyUnpolledModelsOrNoDevicesLeaveTheTimerStopped) {
    host.scans = {{kModelOne}, {kModelTwo}, {}};
    watch.ScanDevices();
    EXPECT_TRUE(host.timerRunning);
    watch.ScanDevices();
    EXPECT_FALSE(host.timerRunning);
    EXPECT_EQ(watch.Table().count, 1);
    watch.ScanDevices();
    EXPECT_EQ(watch.Table().count, 0);
    EXPECT_EQ(host.timerStarts, 1);
}

TEST_F(DeviceWatchTest, ArrivalOfTheMakersDriveShowsTheNoticeByTrayStateAndIsForwarded) {
    host.scans = {{}, {kModelOne}};
    watch.ScanDevices();
    watch.OnVolumeArrival(Mask('E'));
    EXPECT_EQ(host.notices, std::vector<std::wstring>{L"Device Insert2"});
    ASSERT_EQ(host.sent.size(), 2u);
    for (const SentTable& sent : host.sent) {
        EXPECT_EQ(sent.data, Mask('E'));
        EXPECT_EQ(sent.followUp, 0x0407u);
        EXPECT_EQ(sent.followUpParam, Mask('E'));
        EXPECT_EQ(sent.count, 1) << "the table after the rescan";
    }
    EXPECT_EQ(host.sent[1].title, L"Tool");

    host.inTray = true;
    watch.OnVolumeArrival(Mask('E'));
    EXPECT_EQ(host.notices.back(), L"Device Insert1");
}

TEST_F(DeviceWatchTest, ForeignStickGetsNoNoticeButIsForwarded) {
    watch.OnVolumeArrival(Mask('H'));
    EXPECT_TRUE(host.notices.empty());
    EXPECT_EQ(host.scanCount, 1) << "a drive that is not the maker's costs no rescan";
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[0].data, Mask('H'));
}

TEST_F(DeviceWatchTest, DriveListedOnlyOnTheSecondScanCostsOneRescan) {
    host.scans = {{}, {kModelOne}};
    host.makerLetters = "E";
    watch.OnVolumeArrival(Mask('E'));
    EXPECT_EQ(host.scanCount, 2);
    EXPECT_EQ(host.notices, std::vector<std::wstring>{L"Device Insert2"});
    EXPECT_TRUE(host.trace.empty());
}

TEST_F(DeviceWatchTest, DriveNeverListedSpendsThreeRescansThenTracesOnly) {
    host.makerLetters = "DE";
    watch.OnVolumeArrival(Mask('D') | Mask('E'));
    EXPECT_EQ(host.scanCount, 4);
    EXPECT_TRUE(host.notices.empty());
    EXPECT_EQ(host.trace, "Check TOVI Device Error\nCheck TOVI Device Error\n");
    EXPECT_EQ(host.sent.size(), 2u) << "still forwarded";
}

TEST_F(DeviceWatchTest, RemovalOfAListedDriveAndOfAnother) {
    host.scans = {{kModelOne}, {}};
    watch.ScanDevices();
    watch.OnVolumeRemoval(Mask('H'));
    EXPECT_TRUE(host.notices.empty());
    EXPECT_EQ(host.scanCount, 1) << "no rescan";
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[0].followUp, 0x0408u);
    EXPECT_EQ(host.sent[0].count, 1);

    watch.OnVolumeRemoval(Mask('E'));
    EXPECT_EQ(host.notices, std::vector<std::wstring>{L"Device Removed2"});
    EXPECT_EQ(host.scanCount, 2);
    EXPECT_EQ(host.sent.back().count, 0);
    EXPECT_FALSE(host.timerRunning);
}

TEST_F(DeviceWatchTest, NoticeClickRestoresAfterArrivalAndHidesAfterRemoval) {
    host.scans = {{kModelOne}};
    host.inTray = true;
    watch.OnNoticeClicked();
    EXPECT_EQ(host.restores + host.hides, 0) << "no event yet counts as a removal, and the bar is hidden";
    watch.OnVolumeArrival(Mask('E'));
    watch.OnNoticeClicked();
    EXPECT_EQ(host.restores, 1);
    host.inTray = false;
    watch.OnNoticeClicked();
    EXPECT_EQ(host.restores + host.hides, 1) << "visible after an arrival: nothing";

    host.scans = {{}};
    watch.OnVolumeRemoval(Mask('E'));
    watch.OnNoticeClicked();
    EXPECT_EQ(host.hides, 1);
    host.inTray = true;
    watch.OnNoticeClicked();
    EXPECT_EQ(host.hides, 1);
}

}  // namespace
