#pragma once
// A fresh folder for one test, removed with its contents afterwards; paths as UTF-8.

#include <string>

#ifdef _WIN32
#include "common/core/text_codec.h"
#include "common/tests/win32/temp_folder.h"

namespace rig_test {

class TestFolder {
public:
    std::string File(const std::string& name) const {
        return common::WideToUtf8(folder_.File(common::Utf8ToWide(name))).value_or(std::string());
    }

private:
    testing_support::TempFolder folder_;
};

}  // namespace rig_test
#else
#include <stdlib.h>

#include <filesystem>

namespace rig_test {

class TestFolder {
public:
    TestFolder() {
        std::string pattern = "/tmp/rig-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TestFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace rig_test
#endif
