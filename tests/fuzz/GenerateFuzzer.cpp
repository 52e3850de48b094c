// The whole generation, files and text mode included, against the model.
#include "script/InstallScript.h"
#include "tests/fuzz/ReferenceModel.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

void WriteBinary(const char* name, const std::string& bytes)
{
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        static_cast<void>(std::fprintf(stderr, "cannot write %s\n", name));
        std::abort();
    }
}

std::string ReadBinary(const char* name)
{
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::filesystem::path WorkFolder()
{
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("install-generate-fuzzer-" + std::to_string(getpid()));
    return folder;
}

void RemoveWorkFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(WorkFolder().parent_path(), ignored);
    std::filesystem::remove_all(WorkFolder(), ignored);
}

}  // namespace

// Works in a folder of its own, removed at exit.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::filesystem::create_directories(WorkFolder());
    std::filesystem::current_path(WorkFolder());
    return std::atexit(RemoveWorkFolder);
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    std::string path;
    std::string templateBytes;
    SplitFuzzInput(data, size, &path, &templateBytes);
    WriteBinary("install.inx", templateBytes);

    const ScriptStatus status = GenerateInstallScript(path.c_str());
    const std::string expected =
        ModelScriptBytes(ModelExpansion(ModelTemplateText(templateBytes), path));
    const std::string written = ReadBinary("install.inf");
    if (status != ScriptStatus::Written || written != expected) {
        static_cast<void>(std::fprintf(
            stderr, "generation differs from the model: status %d, %u bytes, %u expected\n",
            static_cast<int>(status), static_cast<unsigned>(written.size()),
            static_cast<unsigned>(expected.size())));
        std::abort();
    }
    return 0;
}
