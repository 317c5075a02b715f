// Backups that happen by themselves, under Wine: a drive plugged in runs its marked jobs, the
// user's start at logon, and schedules as tasks of the system's task scheduler. The fixture maps
// drives S: (volume serial 0xAAAA0001) and T: (0xBBBB0002) of the tests' prefix to folders; a
// drive "arrives" when the system's broadcast (or Dockline's message) says so.
//
// Wine's scheduler keeps a task's description and settings, but neither the registered XML nor
// what the interface reads back holds its triggers, actions or principal: those are checked in
// what the program registers (ScheduleTasks::TaskFor), tied to the registered task by its
// description, and read back through the interface wherever the scheduler keeps them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/core/device_table.h"
#include "common/core/ini_file.h"
#include "common/core/text_codec.h"
#include "common/tests/win32/notify_icon_probe.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "common/win32/task_scheduler.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/job_schedule.h"
#include "copperfold/tests/win32/app_message_loop.h"
#include "copperfold/tests/win32/dialog_answer.h"
#include "copperfold/tests/win32/program_run.h"
#include "copperfold/win32/app_messages.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/copperfold_view.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/logon_start.h"
#include "copperfold/win32/main_frame.h"
#include "copperfold/win32/resource.h"
#include "copperfold/win32/run_log_file.h"
#include "copperfold/win32/run_notice.h"
#include "copperfold/win32/schedule_dialog_resource.h"
#include "copperfold/win32/schedule_tasks.h"

namespace {

using namespace std::chrono_literals;
using testing_support::DialogAnswer;

constexpr std::uint32_t kDriveS = 1u << ('S' - 'A');  // holds drive 0xAAAA0001
constexpr std::uint32_t kDriveT = 1u << ('T' - 'A');  // holds drive 0xBBBB0002

std::wstring Section() { return MakeJobSection(win32::ComputerName(), win32::UserName()); }
std::filesystem::path Root(wchar_t letter) { return std::filesystem::path(std::wstring(1, letter) + L":\\"); }

// The lines of a program's standard error, without the notes Wine itself writes there.
std::vector<std::string> ErrorLines(const std::string& errors) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < errors.size()) {
        size_t end = errors.find('\n', at);
        if (end == std::string::npos) end = errors.size();
        std::string line = errors.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && !line.starts_with("wine: ")) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// A run's progress dialog is on the screen: its caption is the job's type (and where it writes).
bool RunDialogShown() {
    for (HWND dialog = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); dialog;
         dialog = ::FindWindowExW(nullptr, dialog, L"#32770", nullptr)) {
        wchar_t caption[64] = {};
        ::GetWindowTextW(dialog, caption, 64);
        if (::IsWindowVisible(dialog) && std::wstring_view(caption).starts_with(L"Backup")) return true;
    }
    return false;
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class AutomaticRuns : public ::testing::Test {
protected:
    AutomaticRuns() {
        for (const wchar_t letter : {L'S', L'T'}) Clear(letter);
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), Program());
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"), JobFile());
        ::DeleteFileW(copperfold::RunLogPath().c_str());
    }
    ~AutomaticRuns() override {
        app.reset();
        testing_support::PumpApp(nullptr, 20ms);
        for (const wchar_t letter : {L'S', L'T'}) Clear(letter);
    }
    static void Clear(wchar_t letter) {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(Root(letter), ignored)) {
            if (entry.path().filename() != L".windows-serial") std::filesystem::remove_all(entry.path(), ignored);
        }
    }
    std::wstring Program() const { return folder.File(L"Copperfold.exe"); }
    std::wstring JobFile() const { return folder.File(L"Copperfold.ini"); }
    std::wstring Source(const std::wstring& name, int files, size_t bytes = 16) {
        const std::wstring path = folder.File(name);
        std::filesystem::create_directories(path);
        for (int i = 0; i < files; ++i) {
            testing_support::WriteBytes(path + L"\\doc" + std::to_wstring(i) + L".txt", std::string(bytes, 'd'));
        }
        return path;
    }
    void AddJob(const std::wstring& source, const std::wstring& target,
                std::optional<TargetBinding> binding = std::nullopt) {
        CIniFile ini(JobFile());
        CCopperfoldDoc doc(&ini, Section());
        ASSERT_EQ(doc.AddJob(source, target, JobType::Backup, std::move(binding)), CCopperfoldDoc::AddResult::Added);
    }

    void StartWindow(bool inTray = false) {
        app = std::make_unique<CCopperfoldApp>(Program());
        ASSERT_TRUE(app->InitInstance(inTray));
        Pump(50ms);
    }
    HWND Frame() const { return app->MainFrame()->Handle(); }
    CCopperfoldDoc& Document() { return app->MainFrame()->Document(); }
    CCopperfoldView& View() { return *app->MainFrame()->View(); }
    void Pump(std::chrono::milliseconds span) { testing_support::PumpApp(app.get(), span); }
    bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Pump(20ms);
        }
        return true;
    }
    // What the system sends every top-level window when a volume comes or goes.
    static void Broadcast(HWND window, bool arrival, std::uint32_t mask) {
        DEV_BROADCAST_VOLUME volume{sizeof volume, DBT_DEVTYP_VOLUME, 0, mask, 0};
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, WM_DEVICECHANGE, arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                              reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 10000, &ignored);
    }
    // What Dockline sends Copperfold after the system told it.
    void DocklineArrival(std::uint32_t mask) {
        common::DeviceTable table{};
        COPYDATASTRUCT copy{mask, sizeof table, &table};
        ::SendMessageW(Frame(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
        ::SendMessageW(Frame(), copperfold::kVolumesArrivedMessage, mask, 0);
    }
    static int PlugInRuns() {
        return Count(testing_support::ReadBytes(copperfold::RunLogPath()), "started by plugging in its drive");
    }
    void Tick(int row, bool ticked) {
        const HWND tree = View().JobList().Tree();
        HTREEITEM item = TreeView_GetRoot(tree);
        for (int i = 0; i < row && item; ++i) item = TreeView_GetNextSibling(tree, item);
        ASSERT_TRUE(item);
        TreeView_SetCheckState(tree, item, ticked ? TRUE : FALSE);
    }

    testing_support::TempFolder folder;
    std::unique_ptr<CCopperfoldApp> app;
};

// The backup drive was T: when its job was added; today it is S:. It is plugged in, and the
// system and Dockline both say so; while its run copies, its plug comes loose and back. One run,
// onto S:, in the progress dialog, with its notice and its record. A drive with no marked job
// starts nothing.
TEST_F(AutomaticRuns, AMarkedDrivePluggedInAtAnotherLetterRunsItsJobsOnce) {
    AddJob(Source(L"Documents", 300, 16384), L"T:\\Plugged", TargetBinding{0xAAAA0001, L""});
    AddJob(Source(L"Other", 1), L"T:\\NotMarked", TargetBinding{0xBBBB0002, L""});
    AddJob(Source(L"Letters", 1), L"S:\\Unmarked", TargetBinding{0xAAAA0001, L""});
    {
        CIniFile ini(JobFile());
        CCopperfoldDoc doc(&ini, Section());
        ASSERT_EQ(doc.SetRunOnArrival({{folder.File(L"Documents"), L"T:\\Plugged"}}, true), 1);
    }
    StartWindow();

    Broadcast(Frame(), true, kDriveT);
    Pump(3s);
    EXPECT_EQ(PlugInRuns(), 0) << "drive T: has no marked job";

    bool dialogSeen = false;
    std::thread loosePlug([&] {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            if (RunDialogShown()) {
                dialogSeen = true;
                Broadcast(Frame(), false, kDriveS);
                Broadcast(Frame(), true, kDriveS);
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
    });
    Broadcast(Frame(), true, kDriveS);
    DocklineArrival(kDriveS);
    ASSERT_TRUE(PumpUntil([] { return PlugInRuns() >= 1; }, 60s)) << "the plug-in ran nothing";
    loosePlug.join();
    EXPECT_TRUE(dialogSeen) << "the run had no progress dialog";
    EXPECT_TRUE(win32_test::NotifyIconShown(Frame(), copperfold::kRunNoticeIconId)) << "no notice of the run";
    Pump(5s);  // long enough for a second run to start, were there one
    const std::string log = testing_support::ReadBytes(copperfold::RunLogPath());
    EXPECT_EQ(PlugInRuns(), 1) << log;
    EXPECT_NE(log.find("T:\\Plugged \xE2\x86\x92 S:\\Plugged (the drive moved)"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::exists(Root(L'S') / L"Plugged\\Documents\\doc299.txt"));
    EXPECT_FALSE(std::filesystem::exists(Root(L'T') / L"Plugged")) << "written onto another drive";
    EXPECT_FALSE(std::filesystem::exists(Root(L'S') / L"Unmarked")) << "a job that is not marked ran";
    EXPECT_FALSE(std::filesystem::exists(Root(L'T') / L"NotMarked"));
}

// "Start Copperfold in the notification area at logon" is the user's Run value, written and
// removed from the View menu; the start it makes comes up hidden in the notification area, and a
// second such start leaves the first as it is.
TEST_F(AutomaticRuns, TheLogonOptionWritesAndRemovesTheUsersRunValueAndStartsInTheTray) {
    copperfold::SetStartAtLogon(Program(), false);
    StartWindow();
    const auto checked = [this] {
        return (::GetMenuState(::GetMenu(Frame()), ID_VIEW_START_AT_LOGON, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    const auto runValue = [] {
        return win32::ReadRegistryText(HKEY_CURRENT_USER, copperfold::kLogonRunKey, copperfold::kLogonRunValue);
    };
    EXPECT_FALSE(checked()) << "off by default";
    EXPECT_FALSE(runValue());
    ::SendMessageW(Frame(), WM_COMMAND, ID_VIEW_START_AT_LOGON, 0);
    EXPECT_TRUE(checked());
    EXPECT_EQ(runValue(), L"\"" + Program() + L"\" /tray");
    app.reset();

    StartWindow(true);
    EXPECT_TRUE(app->MainFrame()->InTray());
    EXPECT_FALSE(::IsWindowVisible(Frame())) << "the start at logon showed the window";
    EXPECT_TRUE(win32_test::NotifyIconShown(Frame(), 1));
    EXPECT_TRUE(checked());
    {
        CCopperfoldApp second(Program());
        EXPECT_FALSE(second.InitInstance(true)) << "a second instance";
    }
    Pump(100ms);
    EXPECT_FALSE(::IsWindowVisible(Frame())) << "a second start at logon brought the first one out";
    ::SendMessageW(Frame(), WM_COMMAND, ID_VIEW_START_AT_LOGON, 0);
    EXPECT_FALSE(checked());
    EXPECT_FALSE(runValue()) << "the value was not removed";
}

// "Schedule..." for the ticked jobs 1 and 3 on Mondays and Thursdays at 20:00 makes one task
// that runs them as this user, not elevated; removing job 1 keeps the schedule on the same job
// (now number 2) and a run from the task's old arguments still runs that job; the dialog
// removes the schedule with its task.
TEST_F(AutomaticRuns, ScheduleRegistersATaskAsTheUserThatFollowsItsJobsAndGoesWhenRemoved) {
    const std::wstring documents = Source(L"Documents", 2);
    AddJob(documents, folder.File(L"One"));
    AddJob(documents, folder.File(L"Two"));
    AddJob(documents, folder.File(L"Three"));
    StartWindow();
    const std::wstring taskName = copperfold::ScheduleTaskName(Section(), 1);
    win32::TaskScheduler scheduler;
    ASSERT_TRUE(scheduler.Connected()) << win32::ErrorCodeText(scheduler.ConnectError());
    scheduler.Remove(copperfold::kScheduleTaskFolder, taskName);  // left by a test that was cut short
    const std::wstring storedTask = win32::SystemDirectory() + L"\\tasks\\" + taskName;

    Tick(0, true);
    Tick(2, true);
    std::wstring listed;
    std::set<int> reached;
    std::set<int> blank;
    {
        DialogAnswer problem(L"Error Message", testing_support::PressOk, 30s);
        DialogAnswer schedule(L"Schedule", [&](HWND dialog) {
            const auto click = [dialog](int id) {
                DWORD_PTR ignored = 0;
                ::SendMessageTimeoutW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &ignored);
            };
            click(IDC_SCHEDULE_WEEKLY);
            // Tab reaches every control, and none is without its text.
            HWND control = ::GetDlgItem(dialog, IDC_SCHEDULE_WEEKLY);
            for (int step = 0; step < 40; ++step) {
                reached.insert(::GetDlgCtrlID(control));
                control = ::GetNextDlgTabItem(dialog, control, FALSE);
                if (!control || control == ::GetDlgItem(dialog, IDC_SCHEDULE_WEEKLY)) break;
            }
            for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                wchar_t text[128] = {};
                ::GetWindowTextW(child, text, 128);
                const int id = ::GetDlgCtrlID(child);
                if (text[0] == 0 && id != IDC_SCHEDULE_TIME && id != IDC_SCHEDULE_LIST) blank.insert(id);
            }
            click(IDC_SCHEDULE_MONDAY);
            click(IDC_SCHEDULE_THURSDAY);
            SYSTEMTIME at{};
            ::GetLocalTime(&at);
            at.wHour = 20;
            at.wMinute = at.wSecond = at.wMilliseconds = 0;
            ::SendMessageW(::GetDlgItem(dialog, IDC_SCHEDULE_TIME), DTM_SETSYSTEMTIME, GDT_VALID,
                           reinterpret_cast<LPARAM>(&at));
            click(IDC_SCHEDULE_ADD);
            const HWND list = ::GetDlgItem(dialog, IDC_SCHEDULE_LIST);
            wchar_t line[256] = {};
            if (::SendMessageW(list, LB_GETCOUNT, 0, 0) == 1) ::SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
            listed = line;
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        View().ScheduleTickedJobs();
        EXPECT_TRUE(schedule.seen);
        EXPECT_FALSE(problem.seen) << "the schedule could not be set up";
    }
    EXPECT_EQ(listed, L"Jobs 1, 3: on Mon, Thu at 20:00");
    EXPECT_TRUE(blank.empty()) << "a control without its text: " << *blank.begin();
    for (const int id : {IDC_SCHEDULE_WEEKLY, IDC_SCHEDULE_MONDAY, IDC_SCHEDULE_SUNDAY, IDC_SCHEDULE_TIME, IDC_SCHEDULE_ADD,
                         IDC_SCHEDULE_LIST, IDCANCEL}) {
        EXPECT_TRUE(reached.count(id)) << "Tab does not reach control " << id;
    }

    // What the scheduler keeps of the task, and what was registered for the rest.
    copperfold::ScheduleTasks tasks(Document(), app->ProgramPath());
    const auto schedules = copperfold::SchedulesOf(Document());
    ASSERT_EQ(schedules.size(), 1u);
    ASSERT_EQ(schedules[0].jobNumbers, (std::vector<int>{1, 3}));
    HRESULT error = S_OK;
    const auto readBack = scheduler.RegisteredXml(copperfold::kScheduleTaskFolder, taskName, &error);
    ASSERT_TRUE(readBack) << "no task " << testing::PrintToString(taskName) << ": " << win32::ErrorCodeText(error);
    EXPECT_TRUE(std::filesystem::exists(storedTask));
    const std::wstring registered = *common::TaskXml(tasks.TaskFor(schedules[0]));
    const auto element = [](const std::wstring& xml, const std::wstring& name) {
        const size_t start = xml.find(L"<" + name + L">");
        const size_t end = xml.find(L"</" + name + L">");
        return start == std::wstring::npos || end == std::wstring::npos ? std::wstring()
                                                                         : xml.substr(start, end - start);
    };
    EXPECT_EQ(element(*readBack, L"Description"), element(registered, L"Description")) << *readBack;
    EXPECT_NE(element(*readBack, L"Description")
                  .find(L"the jobs 1, 3 of " + Section() + L" on Mon, Thu at 20:00 (" + Program() + L")"),
              std::wstring::npos)
        << "the task starts another program, or other jobs at another time";
    EXPECT_NE(readBack->find(L"<StartWhenAvailable>true</StartWhenAvailable>"), std::wstring::npos)
        << "a missed time is made up as soon as possible";
    // Each part from the read-back task where the scheduler kept its group, else from what was
    // registered (the description above ties the two).
    const struct {
        const wchar_t* kept;  // in the read-back XML when the scheduler kept the group
        std::wstring part;
    } parts[] = {
        {L"<CalendarTrigger>", L"<Monday />"},
        {L"<CalendarTrigger>", L"<Thursday />"},
        {L"<CalendarTrigger>", L"T20:00:00</StartBoundary>"},
        {L"<Command>", L"<Command>" + Program() + L"</Command>"},
        {L"<Command>", L"<Arguments>/run 1,3 /scheduled 1</Arguments>"},
        {L"<LogonType>", L"<UserId>" + win32::CurrentUserSid() + L"</UserId>"},
        {L"<LogonType>", L"<LogonType>InteractiveToken</LogonType>"},
        {L"<LogonType>", L"<RunLevel>LeastPrivilege</RunLevel>"},
    };
    for (const auto& [kept, part] : parts) {
        const std::wstring& in = readBack->find(kept) != std::wstring::npos ? *readBack : registered;
        EXPECT_NE(in.find(part), std::wstring::npos) << testing::PrintToString(part) << in;
    }
    EXPECT_FALSE(win32::CurrentUserSid().empty());

    // Job 1 goes: the schedule's jobs are 2 (the old 3) now, and its task says so.
    Tick(0, true);
    Tick(2, false);
    ::SendMessageW(View().Button(IDC_REMOVE_BUTTON), BM_CLICK, 0, 0);
    ASSERT_EQ(Document().jobCount, 2);
    const auto followed = copperfold::SchedulesOf(Document());
    ASSERT_EQ(followed.size(), 1u);
    EXPECT_EQ(followed[0].jobNumbers, (std::vector<int>{2}));
    EXPECT_EQ(Document().jobs[1].target, folder.File(L"Three"));
    EXPECT_NE(element(scheduler.RegisteredXml(copperfold::kScheduleTaskFolder, taskName).value_or(L""), L"Description")
                  .find(L"the jobs 2 of "),
              std::wstring::npos)
        << "the task was not registered again for the new number";
    const testing_support::ProgramResult stale = testing_support::RunProgram(Program(), L"/run 1,3 /scheduled 1", folder.Path());
    EXPECT_EQ(stale.exitCode, 0) << stale.errors;
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"Three\\Documents\\doc1.txt"))) << "the schedule's job did not run";
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"Two"))) << "the job now numbered 1 ran";
    EXPECT_NE(stale.errors.find("numbered 2 now"), std::string::npos) << stale.errors;
    EXPECT_NE(testing_support::ReadBytes(copperfold::RunLogPath()).find("started by a schedule"), std::string::npos);

    // Removed in the dialog: the task goes with it.
    {
        DialogAnswer schedule(L"Schedule", [&](HWND dialog) {
            const HWND list = ::GetDlgItem(dialog, IDC_SCHEDULE_LIST);
            ::SendMessageW(list, LB_SETCURSEL, 0, 0);
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(::GetDlgItem(dialog, IDC_SCHEDULE_REMOVE), BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &ignored);
            listed = std::to_wstring(::SendMessageW(list, LB_GETCOUNT, 0, 0));
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        View().ScheduleTickedJobs();
    }
    EXPECT_EQ(listed, L"0");
    EXPECT_FALSE(scheduler.RegisteredXml(copperfold::kScheduleTaskFolder, taskName, &error));
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << win32::ErrorCodeText(error);
    EXPECT_FALSE(std::filesystem::exists(storedTask));
    EXPECT_TRUE(copperfold::SchedulesOf(Document()).empty());
}

// A schedule set up from the command line whose drive is not plugged in when its time comes:
// the run writes nothing, says so in one line of the run log and on standard error, and ends
// with its own status; "off" removes the schedule and its task.
TEST_F(AutomaticRuns, AScheduledRunWithoutItsDriveWritesNothingAndEndsWithItsOwnStatus) {
    AddJob(Source(L"Documents", 2), L"S:\\Away", TargetBinding{0xCCCC0003, L""});  // a drive not plugged in
    const auto run = [this](const std::wstring& arguments) {
        return testing_support::RunProgram(Program(), arguments, folder.Path());
    };
    const testing_support::ProgramResult added = run(L"/schedule 1 daily 06:30");
    ASSERT_EQ(added.exitCode, 0) << added.errors;
    const std::string task = common::WideToUtf8(copperfold::ScheduleTaskName(Section(), 1)).value_or("");
    EXPECT_EQ(added.output, "1 daily 06:30  (task \"" + task + "\")\r\n");
    EXPECT_EQ(run(L"/schedules").output, added.output);
    EXPECT_EQ(run(L"/schedule 2 daily 06:30").exitCode, 3) << "there is no job 2";
    EXPECT_EQ(run(L"/schedule 1 weekly 06:30").exitCode, 3);

    const std::string jobFile = testing_support::ReadBytes(JobFile());
    const std::string logBefore = testing_support::ReadBytes(copperfold::RunLogPath());
    const testing_support::ProgramResult away = run(L"/run 1 /scheduled 1");
    EXPECT_EQ(away.exitCode, 6) << away.errors;
    EXPECT_EQ(ErrorLines(away.errors).size(), 1u) << away.errors;
    EXPECT_EQ(away.errors.find("failed"), std::string::npos) << away.errors;
    EXPECT_FALSE(std::filesystem::exists(Root(L'S') / L"Away"));
    EXPECT_EQ(testing_support::ReadBytes(JobFile()), jobFile) << "the job file was written";
    const std::string logAdded = testing_support::ReadBytes(copperfold::RunLogPath()).substr(logBefore.size());
    EXPECT_EQ(Count(logAdded, "\n"), 1) << logAdded;
    EXPECT_EQ(logAdded.find("Run "), logBefore.empty() ? 3u : 0u) << logAdded;  // after the byte order mark
    EXPECT_NE(logAdded.find(", started by a schedule: not run, the drives of its jobs (1) are not plugged in"),
              std::string::npos)
        << logAdded;
    EXPECT_EQ(run(L"/run 1").exitCode, 1) << "the same run not started by its schedule is refused as before";

    EXPECT_EQ(run(L"/schedule 1 off").exitCode, 0);
    EXPECT_EQ(run(L"/schedules").output, "");
    const win32::ComApartment com;
    HRESULT error = S_OK;
    EXPECT_FALSE(win32::TaskScheduler().RegisteredXml(copperfold::kScheduleTaskFolder,
                                                      copperfold::ScheduleTaskName(Section(), 1), &error));
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace
