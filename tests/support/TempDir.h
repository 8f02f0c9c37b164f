#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace rz417::test {

// A fresh folder under the system's temporary one, removed with what it holds. Its name is not
// ASCII, so that every file name through it tests the wide paths too.
class TempDir
{
public:
    TempDir()
    {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_dir = base / std::filesystem::u8path("rz417-Me\u00DFpl\u00E4tze-" +
                                                   std::to_string(random()));
            if (std::filesystem::create_directory(m_dir))
                return;
        }
        throw std::runtime_error("no temporary folder");
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder, or a name inside it, in UTF-8.
    std::string path(const std::string &name = {}) const
    {
        return name.empty() ? m_dir.u8string() : (m_dir / std::filesystem::u8path(name)).u8string();
    }

private:
    std::filesystem::path m_dir;
};

} // namespace rz417::test
