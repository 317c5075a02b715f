#include "side_lister.h"

#include <utility>

namespace copperfold {

namespace {
// Up to about a millisecond: longer than a folder's listing or the walk's work on one folder pair
// takes, so that neither thread blocks between folders of one walk.
constexpr int kSpinsBetweenFolders = 2000;
}  // namespace

SideLister::SideLister(FileSystem& files) : fs_(files), thread_([this] { Work(); }) {}

SideLister::~SideLister() {
    quit_ = true;
    start_.Set();
    thread_.join();
}

void SideLister::Start(const std::wstring& folder) {
    folder_ = folder;
    start_.Set();
}

bool SideLister::Finish(std::vector<FileEntry>& entries) {
    done_.Wait(kSpinsBetweenFolders);
    entries = std::move(entries_);
    entries_.clear();
    return listed_;
}

void SideLister::Work() {
    for (;;) {
        start_.Wait(kSpinsBetweenFolders);
        if (quit_.load()) return;
        try {
            listed_ = fs_.List(folder_, entries_);
        } catch (...) {  // out of memory: the folder counts as one that could not be listed
            entries_.clear();
            listed_ = false;
        }
        done_.Set();
    }
}

}  // namespace copperfold
