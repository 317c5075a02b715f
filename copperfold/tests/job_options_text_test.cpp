// A job's options as the window shows and takes them.
#include "copperfold/core/job_options_text.h"

#include <gtest/gtest.h>

namespace copperfold {
namespace {

JobRecord Job(JobType type, std::uint32_t skipSame, std::uint32_t keepDays) {
    JobRecord job(L"C:\\Data", L"E:\\Backup", type);
    job.options = {skipSame, keepDays};
    return job;
}

TEST(JobOptionsText, SaysWhatAJobDoesBeyondItsTypeAndNothingForWhatItIgnores) {
    EXPECT_EQ(JobOptionsText(Job(JobType::Backup, 1, 30)), L"only new and changed files, versions kept 30 days");
    EXPECT_EQ(JobOptionsText(Job(JobType::Restore, 1, 0)), L"only new and changed files");
    EXPECT_EQ(JobOptionsText(Job(JobType::Backup, 0, 1)), L"versions kept 1 day");
    EXPECT_EQ(JobOptionsText(Job(JobType::Sync, 1, 7)), L"versions kept 7 days") << "a Sync always compares";
    EXPECT_EQ(JobOptionsText(Job(JobType::Backup, 2, 0)), L"") << "a newer version's value is not shown as on";
    EXPECT_EQ(JobOptionsText(Job(JobType::Backup, 0, 0)), L"");
    const auto german = [](std::wstring_view english) {
        return english == L"versions kept %s days" ? std::wstring(L"Versionen %s Tage") : std::wstring(english);
    };
    EXPECT_EQ(JobOptionsText(Job(JobType::Backup, 0, 12), german), L"Versionen 12 Tage");
}

TEST(JobOptionsText, TheDaysFieldTakesOneToTheMostDaysAndNothingElse) {
    EXPECT_EQ(ParseKeepDays(L"30"), 30u);
    EXPECT_EQ(ParseKeepDays(L" 0045 "), 45u);
    EXPECT_EQ(ParseKeepDays(L"9999"), kMaxKeepDays);
    for (const wchar_t* refused : {L"", L" ", L"0", L"000", L"10000", L"99999999999999999999", L"-1", L"1.5", L"3 0",
                                   L"30d", L"\u0663"}) {
        EXPECT_FALSE(ParseKeepDays(refused).has_value()) << testing::PrintToString(std::wstring(refused));
    }
}

TEST(JobOptionsText, ADialogChangesWhatItShowsAndKeepsWhatItCannotShow) {
    EXPECT_EQ(ChangedOptions(Job(JobType::Backup, 0, 0), true, 30), (JobOptions{1, 30}));
    EXPECT_EQ(ChangedOptions(Job(JobType::Backup, 1, 30), false, 0), (JobOptions{0, 0}));
    EXPECT_EQ(ChangedOptions(Job(JobType::Restore, 2, 5), false, 5), (JobOptions{2, 5}))
        << "a newer version's value, shown as off and left off, stays";
    EXPECT_EQ(ChangedOptions(Job(JobType::Restore, 2, 5), true, 5), (JobOptions{1, 5}));
    EXPECT_EQ(ChangedOptions(Job(JobType::Sync, 0, 0), true, 9), (JobOptions{0, 9})) << "a Sync keeps its own";
}

}  // namespace
}  // namespace copperfold
