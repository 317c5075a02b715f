#pragma once
// The check a run makes before a job writes anything: will what the job copies fit on the
// volumes it writes to, and may they hold its files at all (FAT holds none of 4 GiB or more)?
// A job that would fail halfway for either reason is refused whole instead.
//
// What a job adds to a volume is gathered by its estimate, file by file: a new file takes its
// size, a file copied over another takes what it is larger than the one it replaces (shrinking
// files are not counted as making room: the order of the copies decides when that room appears).
// Sizes are counted in the volume's clusters. On top comes room for the largest temporary copy:
// a copy and the file it replaces exist together until the rename. The jobs of a run that write
// to the same volume add up, in their order; a refused job books nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"

namespace copperfold {

// Why a job was not run: an English text with "%s" for each argument, in order. Empty text: the
// job may run.
struct JobRefusal {
    std::wstring_view text;
    std::vector<std::wstring> arguments;

    bool Refused() const { return !text.empty(); }
};

// `text` (translated or not) with its "%s" replaced by the arguments in order; a "%s" without an
// argument stays, an argument without a "%s" is left out. Nothing else in the text is read as a
// conversion.
std::wstring FilledText(std::wstring_view text, const std::vector<std::wstring>& arguments);

inline constexpr std::wstring_view kNotEnoughSpaceText =
    L"There is not enough free space on drive %s for this job: it needs %s bytes and %s bytes are free. The job "
    L"was not run.";
inline constexpr std::wstring_view kFileTooLargeText =
    L"The file %s is 4 GiB or larger, and drive %s (%s) holds no file of that size. The job was not run.";

// What one job adds to one volume.
class VolumeNeeds {
public:
    VolumeNeeds() = default;
    explicit VolumeNeeds(const VolumeFacts& facts);

    // A copy of `size` bytes to `destination`, over a file of `replacedSize` bytes when
    // `replaces`.
    void AddCopy(std::wstring_view destination, std::uint64_t size, bool replaces, std::uint64_t replacedSize);
    // A folder the job creates.
    void AddFolder();

    std::uint64_t Growth() const { return growth_; }
    std::uint64_t LargestTemporary() const { return largestTemporary_; }
    // The first file copied here that the volume cannot hold; empty when there is none.
    const std::wstring& FirstTooLarge() const { return firstTooLarge_; }

private:
    std::uint64_t Rounded(std::uint64_t bytes) const;

    std::uint32_t clusterBytes_ = 0;
    bool noFileOf4GiB_ = false;
    std::uint64_t growth_ = 0;
    std::uint64_t largestTemporary_ = 0;
    std::wstring firstTooLarge_;
};

// The volumes of one run, with what the jobs admitted so far will take of them.
class SpacePlan {
public:
    struct Side {
        VolumeFacts facts;
        VolumeNeeds needs;
    };
    // Admits a job that writes to these volumes (one or two; two sides on one volume are added
    // up) and books its needs; or refuses it, naming the first shortfall, and books nothing.
    JobRefusal Admit(const std::vector<Side>& sides);

private:
    struct Booked {
        std::wstring key;  // the volume's root, without regard to case
        std::uint64_t growth = 0;
        std::uint64_t largestTemporary = 0;
    };
    Booked& BookedFor(const std::wstring& key);
    std::vector<Booked> booked_;
};

// The form in which sizes and counts are named in refusals: 8,512,880.
std::wstring ByteCount(std::uint64_t bytes);
// A volume as a user names it: "E:" for the root "E:\", a share's root as it is.
std::wstring DriveName(const std::wstring& root);

}  // namespace copperfold
