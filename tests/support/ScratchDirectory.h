// Helpers for tests that work with real files in the current directory.
#pragma once

#include <filesystem>
#include <string>

// A fresh, empty directory that is the current directory for the holder's
// lifetime; it and everything in it are removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// Writes `bytes` to `name` exactly as given (binary mode).
void WriteFileBytes(const std::string& name, const std::string& bytes);

// The exact bytes of `name` (binary mode); "<missing>" when it cannot be opened.
std::string ReadFileBytes(const std::string& name);

// True while some handle in this process still holds `name` open.
bool IsFileHeldOpen(const std::string& name);
