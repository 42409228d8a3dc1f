#pragma once
// A fresh temporary folder for one test, removed with everything in it when
// the object goes, so that tests never share files and may run in parallel.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class TempFolder
{
public:
    explicit TempFolder(const std::string &stem)
    {
        std::string name = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
        if (!::mkdtemp(name.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_path = name;
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
