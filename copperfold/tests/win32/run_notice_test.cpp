// The tray notice after a button run: its title and text for each outcome, and its own icon,
// shown beside the frame's and gone when the notice is clicked away or times out.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "common/tests/win32/notify_icon_probe.h"
#include "copperfold/win32/run_notice.h"

namespace {

using copperfold::RunLogEntry;
using copperfold::RunNotice;
using copperfold::RunResult;

std::wstring German(std::wstring_view english) {
    if (english == L"The backup is done") return L"Die Sicherung ist fertig";
    if (english == L"files copied") return L"Dateien kopiert";
    return std::wstring(english);
}

RunLogEntry Ended(RunResult result) {
    RunLogEntry run;
    run.result = result;
    run.filesCopied = 2034;
    run.bytesCopied = 8512880;
    return run;
}

// Whether the notice's icon (id 2 of `window`) is in the notification area.
bool IconShown(HWND window) { return win32_test::NotifyIconShown(window, copperfold::kRunNoticeIconId); }

TEST(RunNotice, SaysHowTheRunEndedWithItsCountsAndTheReasonOfAFailure) {
    EXPECT_EQ(RunNotice::Title(Ended(RunResult::Done), German), L"Die Sicherung ist fertig");
    EXPECT_EQ(RunNotice::Text(Ended(RunResult::Done), German), L"2,034 Dateien kopiert, 8,512,880 bytes");
    EXPECT_EQ(RunNotice::Title(Ended(RunResult::Cancelled), German), L"The backup was cancelled");

    RunLogEntry failed = Ended(RunResult::Failed);
    failed.error = L"Copy failed: C:\\a.txt -> E:\\Backup\\a.txt: Error No:112 There is not enough space on the disk.";
    EXPECT_EQ(RunNotice::Title(failed, German), L"The backup failed");
    EXPECT_EQ(RunNotice::Text(failed, German),
              L"2,034 Dateien kopiert, 8,512,880 bytes\n" + failed.error) << "the job's files and the reason";
}

TEST(RunNotice, HasAnIconOfItsOwnThatGoesWithTheNotice) {
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"notice owner", 0, 0, 0, 10, 10, nullptr, nullptr,
                                          nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    {
        RunNotice notice;
        ASSERT_TRUE(notice.Show(window, WM_APP + 1, ::LoadIconW(nullptr, IDI_APPLICATION), Ended(RunResult::Done),
                                German))
            << "the notification area took the notice";
        EXPECT_TRUE(notice.Shown());
        EXPECT_TRUE(IconShown(window));

        notice.OnTrayEvent(WM_MOUSEMOVE);  // passing over it changes nothing
        EXPECT_TRUE(IconShown(window));
        notice.OnTrayEvent(NIN_BALLOONUSERCLICK);
        EXPECT_FALSE(notice.Shown());
        EXPECT_FALSE(IconShown(window)) << "clicked away with its icon";

        ASSERT_TRUE(notice.Show(window, WM_APP + 1, nullptr, Ended(RunResult::Failed), German));
        notice.OnTrayEvent(NIN_BALLOONTIMEOUT);
        EXPECT_FALSE(IconShown(window)) << "timed out with its icon";

        ASSERT_TRUE(notice.Show(window, WM_APP + 1, nullptr, Ended(RunResult::Done), German));
    }
    EXPECT_FALSE(IconShown(window)) << "the notice's end takes its icon along";
    ::DestroyWindow(window);
}

}  // namespace
