#pragma once
// A run nobody watches, for tests of the copy engine: it records what the run shows (copies,
// compares, failed copies, refused jobs, failures and notes) and answers nothing.

#include <cstdint>
#include <string>
#include <vector>

#include "copperfold/core/copy_engine.h"

namespace testing_support {

class CountingObserver final : public copperfold::RunObserver {
public:
    void SetPathLines(const std::wstring& first, const std::wstring&) override {
        if (first.starts_with(L"Copy: ")) ++copies;
    }
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t error, const std::wstring&, const std::wstring&) override { errors.push_back(error); }
    void ShowJobRefused(const JobRecord&, const copperfold::JobRefusal& reason) override {
        refusals.push_back(copperfold::FilledText(reason.text, reason.arguments));
    }
    void ShowRunProblem(const copperfold::RunProblem& problem) override {
        (problem.failure ? failures : notes).push_back(copperfold::FilledText(problem.text, problem.arguments));
    }
    void FileCompared(const std::wstring& from, const std::wstring&) override { compared.push_back(from); }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}

    int copies = 0;
    std::vector<std::uint32_t> errors;
    std::vector<std::wstring> refusals, failures, notes, compared;
};

}  // namespace testing_support
