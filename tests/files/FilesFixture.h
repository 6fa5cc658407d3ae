// A fresh folder per test, and the names in it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Files.h"
#include "TempDir.h"

namespace velmora {

class FilesTest : public ::testing::Test {
  protected:
    std::string File(const std::string& name) const { return dir_.File(name); }
    // Every name in the folder, sorted: a stray temporary file shows here.
    std::vector<std::string> Entries(const std::string& folder = {}) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(
                 test::Utf8Path(folder.empty() ? dir_.Path() : folder))) {
            const std::u8string name = entry.path().filename().u8string();
            names.emplace_back(name.begin(), name.end());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_{"velmora-files-"};
};

}  // namespace velmora
