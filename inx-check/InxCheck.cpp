// inx-check: checks an install.inx template with install.exe's own rules and,
// given a folder, writes the install.inf that install.exe would write for it.
//
//   inx-check [--path DIR] [--output FILE] [--werror] TEMPLATE
//
// Exit status: 0 without errors, 1 with errors (or warnings with --werror),
// 2 for bad usage or a file that cannot be read or written.
#include "inx-check/TemplateCheck.h"

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

struct Options {
    const char* templatePath = nullptr;
    const char* folder = nullptr;
    const char* outputPath = nullptr;
    bool warningsAreErrors = false;
};

// One or more lines on standard error; nothing is left to do when that fails.
void Tell(const std::string& text)
{
    static_cast<void>(std::fputs(text.c_str(), stderr));
}

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--path") == 0 && hasValue) {
            options->folder = argv[++i];
        } else if (std::strcmp(argv[i], "--output") == 0 && hasValue) {
            options->outputPath = argv[++i];
        } else if (std::strcmp(argv[i], "--werror") == 0) {
            options->warningsAreErrors = true;
        } else if (argv[i][0] != '-' && options->templatePath == nullptr) {
            options->templatePath = argv[i];
        } else {
            return false;
        }
    }
    return options->templatePath != nullptr &&
           (options->outputPath == nullptr || options->folder != nullptr);
}

bool ReadWholeFile(const char* path, std::string* bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    char block[65536];
    std::size_t delivered = 0;
    while ((delivered = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes->append(block, delivered);
    }
    const bool read = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return read && closed;
}

// Writes `bytes` unchanged to `path`, or to standard output when it is null.
bool WriteWholeFile(const char* path, const std::string& bytes)
{
    if (path == nullptr) {
#ifdef _WIN32
        // The bytes are install.inf's own: no second text-mode translation.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
               std::fflush(stdout) == 0;
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Tell(
            "usage: inx-check [--path DIR] [--output FILE] [--werror] TEMPLATE\n"
            "  --path DIR     the application's folder, as the registry holds it: write\n"
            "                 the install.inf that install.exe would write for it\n"
            "  --output FILE  write that install.inf to FILE, not to standard output\n"
            "  --werror       treat warnings as errors\n");
        return kTrouble;
    }
    std::string bytes;
    if (!ReadWholeFile(options.templatePath, &bytes)) {
        Tell(std::string("inx-check: cannot read '") + options.templatePath + "'\n");
        return kTrouble;
    }
    const std::string folder = options.folder != nullptr ? options.folder : "";
    bool errors = false;
    bool warnings = false;
    for (const Diagnostic& diagnostic :
         CheckTemplate(bytes, options.folder != nullptr ? &folder : nullptr)) {
        const Position position = PositionOf(bytes, diagnostic.offset);
        const bool isError = diagnostic.severity == Severity::Error;
        errors = errors || isError;
        warnings = warnings || !isError;
        const std::string line = std::string(options.templatePath) + ":" +
                                 std::to_string(position.line) + ":" +
                                 std::to_string(position.column) + ": " +
                                 (isError ? "error: " : "warning: ") + diagnostic.text + "\n";
        Tell(line);
    }
    if (options.folder != nullptr) {
        std::string script;
        if (!RenderInstallScript(bytes, folder, &script)) {
            Tell("inx-check: not enough memory for the expansion\n");
            return kTrouble;
        }
        if (!WriteWholeFile(options.outputPath, script)) {
            Tell(std::string("inx-check: cannot write '") +
                 (options.outputPath != nullptr ? options.outputPath : "standard output") + "'\n");
            return kTrouble;
        }
    }
    return errors || (warnings && options.warningsAreErrors) ? kFindings : kClean;
}
