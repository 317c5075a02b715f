#pragma once
// What a run's worker publishes for the window that shows it: the two path lines and the bar's
// position. The worker overwrites them as often as it likes and never waits; the window takes
// the latest at its own pace (its timer), so a run of many small files costs the window nothing
// per file.

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace copperfold {

struct PathLines {
    std::wstring first;
    std::wstring second;
};

class PublishedRunState {
public:
    void PublishPathLines(std::wstring first, std::wstring second) {
        pathLines_.store(std::make_shared<const PathLines>(PathLines{std::move(first), std::move(second)}));
    }
    void PublishPosition(int position) { position_.store(position); }

    // The path lines published since the last call, or null when there are none.
    std::shared_ptr<const PathLines> TakePathLines() { return pathLines_.exchange(nullptr); }
    int Position() const { return position_.load(); }

    void Reset() {
        pathLines_.store(nullptr);
        position_.store(0);
    }

private:
    std::atomic<std::shared_ptr<const PathLines>> pathLines_;
    std::atomic<int> position_{0};
};

}  // namespace copperfold
