#pragma once
// The dump folder of the flash operations on the platform: ANSI paths, as the component keeps the
// folder given to SetDebugDmpFilePathSS. Files go into the folder itself (a separator is put
// between the folder and a name when the folder does not end with one) or one subfolder of it;
// only the folder's last level is created.

#include <string>

#include "corelink/core/flash_session.h"

namespace corelink::com {

class AnsiDumpFolder final : public corelink::DumpFolder {
public:
    explicit AnsiDumpFolder(std::string folder);
    bool Prepare(const std::string& subfolder) override;
    std::unique_ptr<corelink::DumpFile> Create(const std::string& subfolder, const std::string& name) override;

private:
    std::string Within(const std::string& subfolder) const;
    std::string folder_;  // ends with a separator
};

}  // namespace corelink::com
