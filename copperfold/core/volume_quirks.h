#pragma once
// What the copies of one run learnt about the volumes they wrote to: one that refuses every
// change of a file's attributes (some FAT drivers, network shares), one that keeps no hidden bit
// (a FUSE driver under Wine), one that gives a file it renames the time of the rename (a FUSE FAT
// driver), and one that did not keep the last-write times given to a copy at all; and what the
// run told them of one: that it holds FAT's times only. Each is found out once per volume and
// then acted on without asking again; the run log names each volume once. Copies run on several
// threads: the facts are atomic flags, one set per drive letter and one shared by every network
// share.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace copperfold {

class VolumeQuirks {
public:
    enum Flag : std::uint8_t {
        kKeepsNoAttributes = 0x01,
        kTimesChecked = 0x02,      // the first copy onto the volume is having its times read back
        kKeepsNoTimes = 0x04,      // the volume did not keep the times given to that copy
        kTimesAfterRename = 0x08,  // the volume stamps a file it renames: times go on after the rename
        kTimesCheckDone = 0x10,    // the reading back has ended (with or without one of the two above)
        kFatTimeRange = 0x20,      // the volume holds times of 1980 to 2107 only (FAT, exFAT)
        kHiddenBitChecked = 0x40,  // the first copy onto the volume has looked at its new file's hidden bit
        kKeepsNoHiddenBit = 0x80,  // a file made hidden there does not read back hidden (FUSE under Wine)
    };

    // `path`: a path on the volume, in the plain or the extended-length form.
    bool Has(std::wstring_view path, Flag flag) const;
    // Sets the flag; true when this call was the first to set it.
    bool Mark(std::wstring_view path, Flag flag);
    // One line for each volume and fact worth telling the user, in drive order.
    std::vector<std::wstring> Notes() const;

private:
    static constexpr std::size_t kShares = 26;
    static std::size_t Slot(std::wstring_view path);
    std::array<std::atomic<std::uint8_t>, 27> flags_{};
};

}  // namespace copperfold
