// A fresh temporary folder, removed with everything in it. Standard C++ only,
// so that the suites that run on both systems share it.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace velmora::test {

class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "velmora-test-") {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate = base / (prefix + std::to_string(random()));
            std::error_code error;
            // create_directory is false (without an error) when the name is taken.
            if (std::filesystem::create_directory(candidate, error)) {
                m_path = candidate.string();
                return;
            }
            if (error) break;
        }
        throw std::runtime_error("cannot create a temporary folder in " + base.string());
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

}  // namespace velmora::test
