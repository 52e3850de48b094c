#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path UniqueScratchPath()
{
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long processId = GetCurrentProcessId();
#else
    const unsigned long processId = static_cast<unsigned long>(getpid());
#endif
    std::ostringstream name;
    name << "install-test-" << processId << '-' << counter++;
    return fs::temp_directory_path() / name.str();
}

}  // namespace

ScratchDirectory::ScratchDirectory() : previous_(fs::current_path()), path_(UniqueScratchPath())
{
    fs::remove_all(path_);
    fs::create_directories(path_);
    fs::current_path(path_);
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

void WriteFileBytes(const std::string& name, const std::string& bytes)
{
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << "cannot write " << name;
}

std::string ReadFileBytes(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        return "<missing>";
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool IsFileHeldOpen(const std::string& name)
{
#ifdef _WIN32
    // The C runtime opens files without delete sharing, so an exclusive open
    // fails with a sharing violation while any handle remains.
    HANDLE exclusive = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (exclusive == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }
    CloseHandle(exclusive);
    return false;
#else
    const fs::path target = fs::absolute(name);
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == target) {
            return true;
        }
    }
    return false;
#endif
}
