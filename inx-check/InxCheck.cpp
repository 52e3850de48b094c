// inx-check: checks an install.inx template as install.exe and the INF engine
// will read it, the files it copies against its own folder (the package),
// and, given a folder, writes the install.inf that install.exe would write.
//
//   inx-check [--path DIR] [--output FILE] [--werror] TEMPLATE
//
// Exit status: 0 without errors, 1 with errors (or warnings with --werror),
// 2 for bad usage or a file that cannot be read or written.
#include "inx-check/InfReader.h"
#include "inx-check/TemplateCheck.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

constexpr char kVersion[] = "inx-check 2.0\n";
constexpr char kUsage[] =
    "usage: inx-check [--path DIR] [--output FILE] [--werror] TEMPLATE\n"
    "  --path DIR     the application's folder, as the registry holds it: check the\n"
    "                 install.inf that install.exe would write for it, and write it\n"
    "  --output FILE  write that install.inf to FILE, not to standard output\n"
    "  --werror       treat warnings as errors\n"
    "  --help, --version\n"
    "The files that CopyFiles names are looked for beside TEMPLATE.\n";

struct Request {
    const char* templatePath = nullptr;
    const char* folder = nullptr;
    const char* outputPath = nullptr;
    bool warningsAreErrors = false;
    bool help = false;
    bool version = false;
};

void Tell(std::FILE* stream, const std::string& text)
{
    static_cast<void>(std::fputs(text.c_str(), stream));
}

bool ParseRequest(int argc, char** argv, Request* request)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--path") == 0 && hasValue) {
            request->folder = argv[++i];
        } else if (std::strcmp(argv[i], "--output") == 0 && hasValue) {
            request->outputPath = argv[++i];
        } else if (std::strcmp(argv[i], "--werror") == 0) {
            request->warningsAreErrors = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            request->help = true;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            request->version = true;
        } else if (argv[i][0] != '-' && request->templatePath == nullptr) {
            request->templatePath = argv[i];
        } else {
            return false;
        }
    }
    return request->help || request->version ||
           (request->templatePath != nullptr &&
            (request->outputPath == nullptr || request->folder != nullptr));
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

// The template's folder, looked up without regard to case, as Windows does.
class PackageFolder final : public Package {
public:
    explicit PackageFolder(fs::path folder) : folder_(std::move(folder)) {}

    bool Holds(const std::string& path) const override
    {
        fs::path at = folder_;
        std::size_t begin = 0;
        while (begin <= path.size()) {
            const std::size_t end = std::min(path.find('\\', begin), path.size());
            const std::string wanted = LowerAscii(path.substr(begin, end - begin));
            begin = end + 1;
            if (wanted.empty() || wanted == ".") {
                continue;
            }
            std::error_code error;
            bool found = false;
            for (fs::directory_iterator entry(at, error), last; !error && entry != last;
                 entry.increment(error)) {
                if (LowerAscii(entry->path().filename().string()) == wanted) {
                    at = entry->path();
                    found = true;
                    break;
                }
            }
            if (!found) {
                return false;
            }
        }
        std::error_code error;
        return fs::is_regular_file(at, error);
    }

private:
    fs::path folder_;
};

}  // namespace

int main(int argc, char** argv)
{
    Request request;
    if (!ParseRequest(argc, argv, &request)) {
        Tell(stderr, kUsage);
        return kTrouble;
    }
    if (request.help || request.version) {
        Tell(stdout, request.help ? kUsage : kVersion);
        return kClean;
    }
    std::string bytes;
    if (!ReadWholeFile(request.templatePath, &bytes)) {
        Tell(stderr, std::string("inx-check: cannot read '") + request.templatePath + "'\n");
        return kTrouble;
    }
    const std::string folder = request.folder != nullptr ? request.folder : "";
    const PackageFolder package(fs::path(request.templatePath).parent_path().empty()
                                    ? fs::path(".")
                                    : fs::path(request.templatePath).parent_path());
    const LineIndex lines(bytes);
    bool errors = false;
    bool warnings = false;
    for (const Diagnostic& diagnostic :
         CheckTemplate(bytes, request.folder != nullptr ? &folder : nullptr, &package)) {
        const Position position = lines.PositionOf(diagnostic.offset);
        const bool isError = diagnostic.severity == Severity::Error;
        errors = errors || isError;
        warnings = warnings || !isError;
        Tell(stderr, std::string(request.templatePath) + ":" + std::to_string(position.line) + ":" +
                         std::to_string(position.column) + ": " +
                         (isError ? "error: " : "warning: ") + diagnostic.text + "\n");
    }
    const int status = errors || (warnings && request.warningsAreErrors) ? kFindings : kClean;
    if (request.folder == nullptr || errors) {
        return status;  // an install.inf that would fail is not written
    }
    std::string script;
    if (!RenderInstallScript(bytes, folder, &script)) {
        Tell(stderr, "inx-check: the expansion's size does not fit in memory's address range\n");
        return kTrouble;
    }
    if (!WriteWholeFile(request.outputPath, script)) {
        Tell(stderr, std::string("inx-check: cannot write '") +
                         (request.outputPath != nullptr ? request.outputPath : "standard output") +
                         "'\n");
        return kTrouble;
    }
    return status;
}
