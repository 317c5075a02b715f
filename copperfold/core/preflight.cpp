#include "preflight.h"

#include <algorithm>

#include "../../common/core/case_fold.h"
#include "file_times.h"

namespace copperfold {
namespace {

// Sums that stop at the top of the range instead of wrapping into "fits".
std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) { return a > ~0ull - b ? ~0ull : a + b; }

}  // namespace

std::wstring FilledText(std::wstring_view text, const std::vector<std::wstring>& arguments) {
    std::wstring filled;
    filled.reserve(text.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size() && text[i + 1] == L's' && next < arguments.size()) {
            filled += arguments[next++];
            ++i;
            continue;
        }
        filled += text[i];
    }
    return filled;
}

std::wstring DriveName(const std::wstring& root) {
    if (root.size() == 3 && root[1] == L':' && root[2] == L'\\') return root.substr(0, 2);
    return root;
}

std::wstring ByteCount(std::uint64_t bytes) {
    std::wstring digits = std::to_wstring(bytes);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, L',');
    return digits;
}

VolumeNeeds::VolumeNeeds(const VolumeFacts& facts)
    : clusterBytes_(facts.clusterBytes), noFileOf4GiB_(HoldsNoFileOf4GiB(facts.fileSystem)) {}

std::uint64_t VolumeNeeds::Rounded(std::uint64_t bytes) const {
    if (clusterBytes_ == 0 || bytes % clusterBytes_ == 0) return bytes;
    const std::uint64_t rounded = bytes - bytes % clusterBytes_ + clusterBytes_;
    return rounded < bytes ? bytes : rounded;  // at the very top of the range
}

void VolumeNeeds::AddCopy(std::wstring_view destination, std::uint64_t size, bool replaces,
                          std::uint64_t replacedSize) {
    if (noFileOf4GiB_ && size > kFatLargestFile && firstTooLarge_.empty()) firstTooLarge_ = destination;
    const std::uint64_t taken = Rounded(size);
    const std::uint64_t freed = replaces ? Rounded(replacedSize) : 0;
    if (taken > freed) growth_ = SaturatingSum(growth_, taken - freed);
    if (replaces) largestTemporary_ = std::max(largestTemporary_, taken);
}

void VolumeNeeds::AddFolder() { growth_ = SaturatingSum(growth_, clusterBytes_); }

SpacePlan::Booked& SpacePlan::BookedFor(const std::wstring& key) {
    for (Booked& booked : booked_) {
        if (booked.key == key) return booked;
    }
    booked_.push_back({key});
    return booked_.back();
}

JobRefusal SpacePlan::Admit(const std::vector<Side>& sides) {
    // Sides on the same volume first add up with each other.
    struct Wanted {
        const VolumeFacts* facts;
        std::wstring key;
        std::uint64_t growth = 0;
        std::uint64_t largestTemporary = 0;
    };
    std::vector<Wanted> wanted;
    for (const Side& side : sides) {
        if (!side.needs.FirstTooLarge().empty()) {
            return {kFileTooLargeText,
                    {side.needs.FirstTooLarge(), DriveName(side.facts.root), side.facts.fileSystem}};
        }
        if (side.facts.root.empty()) continue;
        const std::wstring key = common::UpperCased(side.facts.root);
        auto it = std::find_if(wanted.begin(), wanted.end(), [&](const Wanted& w) { return w.key == key; });
        if (it == wanted.end()) it = wanted.insert(wanted.end(), Wanted{&side.facts, key});
        it->growth = SaturatingSum(it->growth, side.needs.Growth());
        it->largestTemporary = std::max(it->largestTemporary, side.needs.LargestTemporary());
    }
    for (const Wanted& w : wanted) {
        if (!w.facts->freeSpaceKnown) continue;
        const Booked& before = BookedFor(w.key);
        const std::uint64_t needed =
            SaturatingSum(SaturatingSum(before.growth, w.growth), std::max(before.largestTemporary, w.largestTemporary));
        if (needed > w.facts->freeBytes) {
            return {kNotEnoughSpaceText, {DriveName(w.facts->root), ByteCount(needed), ByteCount(w.facts->freeBytes)}};
        }
    }
    for (const Wanted& w : wanted) {
        Booked& booked = BookedFor(w.key);
        booked.growth = SaturatingSum(booked.growth, w.growth);
        booked.largestTemporary = std::max(booked.largestTemporary, w.largestTemporary);
    }
    return {};
}

}  // namespace copperfold
