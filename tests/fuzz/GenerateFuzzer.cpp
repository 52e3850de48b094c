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
    std::filesystem::remove_all(WorkFolder(), ignored);
}

// The work folder is the current directory for the holder's lifetime only, so
// that the fuzzer's own relative paths (corpus, crash files) keep their meaning.
class InWorkFolder {
public:
    InWorkFolder() : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(WorkFolder());
    }
    ~InWorkFolder() { std::filesystem::current_path(previous_); }
    InWorkFolder(const InWorkFolder&) = delete;
    InWorkFolder& operator=(const InWorkFolder&) = delete;

private:
    std::filesystem::path previous_;
};

}  // namespace

// Works in a folder of its own, removed at exit.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::filesystem::create_directories(WorkFolder());
    return std::atexit(RemoveWorkFolder);
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    std::string path;
    std::string templateBytes;
    SplitFuzzInput(data, size, &path, &templateBytes);
    const std::string expected =
        ModelScriptBytes(ModelExpansion(ModelTemplateText(templateBytes), path));

    ScriptStatus status = ScriptStatus::TemplateMissing;
    std::string written;
    {
        const InWorkFolder inWorkFolder;
        WriteBinary("install.inx", templateBytes);
        status = GenerateInstallScript(path.c_str());
        written = ReadBinary("install.inf");
    }
    if (status != ScriptStatus::Written || written != expected) {
        static_cast<void>(std::fprintf(
            stderr, "generation differs from the model: status %d, %u bytes, %u expected\n",
            static_cast<int>(status), static_cast<unsigned>(written.size()),
            static_cast<unsigned>(expected.size())));
        std::abort();
    }
    return 0;
}
