#pragma once
// The "W" file-system operations receive a parameter block whose three strings are wide. The
// library reads 8-bit text, so it gets a private copy of the block holding 8-bit copies of the
// strings; afterwards the results (status, root sector) go back into the caller's block, whose own
// string fields are never changed. A string with a character the system code page cannot hold
// exactly is not replaced by a look-alike: the call is refused instead.

#include <optional>
#include <string>

#include "volkern/include/volkern_api.h"

namespace corelink::com {

class AnsiParameters {
public:
    // `wideBlock`: a block whose string fields point to wide strings (or are null).
    explicit AnsiParameters(const VolkernParameters& wideBlock);
    AnsiParameters(const AnsiParameters&) = delete;
    AnsiParameters& operator=(const AnsiParameters&) = delete;

    // False when a string has no exact 8-bit form.
    bool Valid() const { return valid_; }
    VolkernParameters* Block() { return &block_; }
    // Status and root sector back into the caller's block.
    void ReturnResults(VolkernParameters& wideBlock) const;

private:
    const char* Adopt(std::optional<std::string>& storage, const char* wideField);

    VolkernParameters block_;
    std::optional<std::string> path_, label_, oemName_;
    bool valid_ = true;
};

}  // namespace corelink::com
