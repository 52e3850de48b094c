// inx-check: checks an install.inx template as install.exe and the INF engine
// will read it, the files it copies against its own folder (the package),
// and, given a folder, writes the install.inf that install.exe would write.
//
//   inx-check [OPTIONS] [--] TEMPLATE
//
// Exit status: 0 without errors, 1 with errors (or warnings with --werror),
// 2 for bad usage or a file that cannot be read or written.
#include "inx-check/reader/CodePage.h"
#include "inx-check/reader/InfReader.h"
#include "inx-check/plan/Plan.h"
#include "inx-check/command/PlanReport.h"
#include "inx-check/fix/UninstallFix.h"
#include "inx-check/command/Report.h"
#include "inx-check/rules/Rules.h"
#include "inx-check/rules/Suppressions.h"
#include "inx-check/rules/TemplateCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;

constexpr char kUsage[] =
    "usage: inx-check [OPTIONS] [--] TEMPLATE\n"
    "  --path DIR          the application's folder, as the registry holds it: check the\n"
    "                      install.inf that install.exe would write for it, and write it\n"
    "  --output FILE       write that install.inf to FILE, not to standard output\n"
    "  --werror            treat warnings as errors\n"
    "  --disable RULE,...  report none of these rules (may be given again)\n"
    "  --format FORMAT     text (the default, as compilers print) or sarif (SARIF 2.1.0);\n"
    "                      with --plan, text or json\n"
    "  --plan              print what installing and uninstalling will do: files, registry,\n"
    "                      services, and what uninstalling leaves (install.inf is then\n"
    "                      written only with --output)\n"
    "  --fix               print a patch (a unified diff; patch -p0 or git apply -p0) that\n"
    "                      adds the uninstall the template lacks: what it leaves taken away,\n"
    "                      and an entry in the list of installed programs that runs it\n"
    "  --codepage N        the Windows ANSI code page the INF is read in (1252 unless given)\n"
    "  --windows 32|64     the Windows install.inf runs on (32 unless given): on 64-bit\n"
    "                      Windows the 32-bit engine's files and registry writes are\n"
    "                      redirected (SysWOW64, Program Files (x86), WOW6432Node)\n"
    "  --list-rules        print every rule with what the engine does\n"
    "  --list-folders      print the folder numbers the plan resolves, and their folders\n"
    "  --list-code-pages   print the code pages --codepage takes, one a line\n"
    "                      (with --windows 64, where files land and the text in a value)\n"
    "  --explain RULE      print one rule, what the engine does, and an INF that gives it\n"
    "  --help, --version\n"
    "Each option's value may also be given as --opt=VALUE; an option is given once.\n"
    "The files that CopyFiles names are looked for beside TEMPLATE, their names compared\n"
    "as Windows does: as the code page's characters, without regard to case. A comment\n"
    "'; inx-check: disable=RULE' silences RULE on its line, or alone on a line, on the next.\n";

enum class Format { Text, Sarif, Json };

struct Request {
    const char* templatePath = nullptr;
    const char* folder = nullptr;
    const char* outputPath = nullptr;
    bool warningsAreErrors = false;
    bool plan = false;
    bool fix = false;
    std::vector<bool> disabled = std::vector<bool>(RuleCount(), false);
    Format format = Format::Text;
    const CodePage* codePage = FindCodePage(kDefaultCodePage);
    Windows windows = Windows::Bits32;
    bool help = false;
    bool version = false;
    bool listRules = false;
    bool listFolders = false;
    bool listCodePages = false;
    const RuleInfo* explain = nullptr;  // --explain RULE
};

void Tell(std::FILE* stream, const std::string& text)
{
    static_cast<void>(std::fputs(text.c_str(), stream));
}

// Marks each rule of the comma-separated `names` disabled; false with the
// first name that is no rule.
bool DisableRules(const std::string& names, std::vector<bool>* disabled, std::string* problem)
{
    std::size_t begin = 0;
    while (begin <= names.size()) {
        const std::size_t end = std::min(names.find(',', begin), names.size());
        const std::string name = names.substr(begin, end - begin);
        Rule rule = Rule::UnknownRule;
        if (!FindRule(name, &rule)) {
            *problem = "'" + name + "' is no rule (inx-check --list-rules lists them)";
            return false;
        }
        (*disabled)[static_cast<std::size_t>(rule)] = true;
        begin = end + 1;
    }
    return true;
}

// The value of the option `name` when `argv[*i]` is it, given as "NAME=VALUE"
// or as "NAME VALUE" (then *i moves past the value); nullptr otherwise, and
// also, with `problem` set, when the value is missing or the option, noted
// in `seen` unless it may be repeated, was given before.
const char* OptionValue(const char* name, int argc, char** argv, int* i,
                        std::vector<std::string>* seen, std::string* problem)
{
    const std::size_t length = std::strlen(name);
    const char* argument = argv[*i];
    if (std::strncmp(argument, name, length) != 0 ||
        (argument[length] != '\0' && argument[length] != '=')) {
        return nullptr;
    }
    if (seen != nullptr && std::find(seen->begin(), seen->end(), name) != seen->end()) {
        *problem = std::string(name) + " is given more than once";
        return nullptr;
    }
    if (seen != nullptr) {
        seen->push_back(name);
    }
    if (argument[length] == '=') {
        return argument + length + 1;
    }
    if (*i + 1 >= argc) {
        *problem = std::string(name) + " needs a value";
        return nullptr;
    }
    return argv[++*i];
}

// Reads the command line into `request`; on a usage error, says what was wrong.
// Each option that takes a value takes it as "--opt=VALUE" or "--opt VALUE",
// and may be given once; --disable may be given again, its rules added.
bool ParseRequest(int argc, char** argv, Request* request, std::string* problem)
{
    bool optionsEnded = false;
    std::vector<std::string> seen;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            if (request->templatePath != nullptr) {
                *problem = "more than one template: '" + argument + "'";
                return false;
            }
            request->templatePath = argv[i];
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const char* value = nullptr;
        if ((value = OptionValue("--path", argc, argv, &i, &seen, problem)) != nullptr) {
            request->folder = value;
        } else if ((value = OptionValue("--output", argc, argv, &i, &seen, problem)) != nullptr) {
            request->outputPath = value;
        } else if ((value = OptionValue("--format", argc, argv, &i, &seen, problem)) != nullptr) {
            const std::string format = value;
            if (format != "text" && format != "sarif" && format != "json") {
                *problem = "--format takes text, sarif or (with --plan) json";
                return false;
            }
            request->format = format == "text"    ? Format::Text
                              : format == "sarif" ? Format::Sarif
                                                  : Format::Json;
        } else if ((value = OptionValue("--explain", argc, argv, &i, &seen, problem)) != nullptr) {
            Rule rule = Rule::UnknownRule;
            if (!FindRule(value, &rule)) {
                *problem =
                    std::string("'") + value + "' is no rule (inx-check --list-rules lists them)";
                return false;
            }
            request->explain = &InfoOf(rule);
        } else if ((value = OptionValue("--codepage", argc, argv, &i, &seen, problem)) != nullptr) {
            const std::string number = value;
            request->codePage = number.find_first_not_of("0123456789") == std::string::npos &&
                                        !number.empty() && number.size() < 6
                                    ? FindCodePage(static_cast<unsigned>(std::stoul(number)))
                                    : nullptr;
            if (request->codePage == nullptr) {
                *problem = "--codepage takes an ANSI code page: " + CodePageNumbers();
                return false;
            }
        } else if ((value = OptionValue("--windows", argc, argv, &i, &seen, problem)) != nullptr) {
            if (!ParseWindows(value, &request->windows)) {
                *problem = "--windows takes 32 or 64";
                return false;
            }
        } else if ((value = OptionValue("--disable", argc, argv, &i, nullptr, problem)) !=
                   nullptr) {
            if (!DisableRules(value, &request->disabled, problem)) {
                return false;
            }
        } else if (!problem->empty()) {
            return false;
        } else if (argument == "--werror") {
            request->warningsAreErrors = true;
        } else if (argument == "--plan") {
            if (request->plan) {
                *problem = "--plan is given more than once";
                return false;
            }
            request->plan = true;
        } else if (argument == "--fix") {
            if (request->fix) {
                *problem = "--fix is given more than once";
                return false;
            }
            request->fix = true;
        } else if (argument == "--list-rules") {
            request->listRules = true;
        } else if (argument == "--list-folders") {
            request->listFolders = true;
        } else if (argument == "--list-code-pages") {
            request->listCodePages = true;
        } else if (argument == "--help") {
            request->help = true;
        } else if (argument == "--version") {
            request->version = true;
        } else {
            *problem = "unknown option '" + argument + "'";
            return false;
        }
    }
    if (request->help || request->version || request->listRules || request->listFolders ||
        request->listCodePages || request->explain != nullptr) {
        return true;
    }
    std::error_code error;
    if (request->templatePath == nullptr) {
        *problem = "no template given";
    } else if (request->outputPath != nullptr && request->folder == nullptr) {
        *problem = "--output needs --path: install.inf is written only for a folder";
    } else if (request->fix &&
               (request->plan || request->folder != nullptr || request->format != Format::Text)) {
        *problem = "--fix prints a patch alone: not with --plan, --path or --format";
    } else if (request->plan && request->format == Format::Sarif) {
        *problem = "--plan prints text or json, not sarif";
    } else if (!request->plan && request->format == Format::Json) {
        *problem = "--format=json is for --plan; findings are text or sarif";
    } else if (request->format == Format::Sarif && request->folder != nullptr &&
               request->outputPath == nullptr) {
        *problem = "--format=sarif writes to standard output: give --output for install.inf";
    } else if (request->outputPath != nullptr &&
               (fs::path(request->outputPath) == fs::path(request->templatePath) ||
                fs::equivalent(request->outputPath, request->templatePath, error))) {
        *problem = std::string("--output '") + request->outputPath +
                   "' is the template itself: inx-check never writes over its input";
    }
    return problem->empty();
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

unsigned long ProcessId()
{
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

bool WriteToStream(std::FILE* stream, const std::string& bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
           std::fflush(stream) == 0;
}

// Writes `bytes` unchanged to `path`, or to standard output when it is null.
// A file is written beside the target and renamed over it once complete, so
// the target is never partial; a device or pipe is written to directly.
bool WriteWholeFile(const char* path, const std::string& bytes)
{
    if (path == nullptr) {
#ifdef _WIN32
        // The bytes are install.inf's own: no second text-mode translation.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        return WriteToStream(stdout, bytes);
    }
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    const bool special = fs::exists(status) && !fs::is_regular_file(status);
    // A name of this run's own, so that two runs on one output do not collide.
    const std::string written =
        special ? std::string(path)
                : std::string(path) + ".inx-check-" + std::to_string(ProcessId()) + ".new";
    std::FILE* file = std::fopen(written.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool complete = WriteToStream(file, bytes);
    const bool closed = std::fclose(file) == 0;
    if (special) {
        return complete && closed;
    }
    if (complete && closed) {
        fs::rename(written, path, error);
        if (!error) {
            return true;
        }
    }
    fs::remove(written, error);
    return false;
}

// Removes what an earlier run left at `path`, so that no install.inf stands
// for a template that now fails: only a regular file, never a folder, a
// device, a pipe or a link (the template itself is refused as --output).
void RemoveStaleOutput(const char* path)
{
    std::error_code error;
    if (path != nullptr && fs::is_regular_file(fs::symlink_status(path, error))) {
        fs::remove(path, error);
    }
}

// The template's folder, its names compared as the code page's characters
// without regard to case, as Windows compares them.
class PackageFolder final : public Package {
public:
    PackageFolder(fs::path folder, const CodePage& page) : folder_(std::move(folder)), page_(page)
    {
    }

    bool Holds(const std::string& path) const override
    {
        fs::path at = folder_;
        std::size_t begin = 0;
        while (begin <= path.size()) {
            const std::size_t end = std::min(FindCharacter(page_, path, '\\', begin), path.size());
            const std::string wanted = UpperInCodePage(page_, path.substr(begin, end - begin));
            begin = end + 1;
            if (wanted.empty() || wanted == ".") {
                continue;
            }
            std::error_code error;
            bool found = false;
            for (fs::directory_iterator entry(at, error), last; !error && entry != last;
                 entry.increment(error)) {
                if (UpperInCodePage(page_, NameInCodePage(entry->path())) == wanted) {
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
    // A file's name as the code page's bytes: a Linux name is read as UTF-8
    // (a name that is not taken as the bytes it is), a Windows one as UTF-16.
    std::string NameInCodePage(const fs::path& file) const
    {
        std::string bytes;
#ifdef _WIN32
        const std::wstring name = file.filename().wstring();
        return CodePageFromUtf16(page_, std::u16string(name.begin(), name.end()), &bytes) ? bytes
                                                                                          : "";
#else
        const std::string name = file.filename().string();
        return CodePageFromUtf8(page_, name, &bytes) ? bytes : name;
#endif
    }

    fs::path folder_;
    const CodePage& page_;
};

// The folder given on the command line as the code page's bytes: on Linux
// the command line is UTF-8, and text that is not is taken as the bytes it is.
bool FolderInCodePage(const std::string& given, const CodePage& page, std::string* folder,
                      std::string* problem)
{
#ifndef _WIN32
    if (CodePageFromUtf8(page, given, folder)) {
        return true;
    }
    char32_t code = 0;
    std::size_t at = 0;
    for (std::size_t length = 0; at < given.size(); at += length) {
        if ((length = DecodeUtf8(given, at, &code)) == 0) {
            break;
        }
    }
    if (at == given.size()) {
        *problem = "the folder '" + given + "' holds characters that code page " +
                   std::to_string(page.number) + " lacks: install.exe refuses such a folder";
        return false;
    }
#else
    static_cast<void>(page);
    static_cast<void>(problem);
#endif
    *folder = given;
    return true;
}

// Checks the template and writes install.inf when asked and clean; the
// exit status.
int Check(const Request& request)
{
    std::string bytes;
    if (!ReadWholeFile(request.templatePath, &bytes)) {
        Tell(stderr, std::string("inx-check: cannot read '") + request.templatePath + "'\n");
        return kTrouble;
    }
    std::string folder;
    std::string problem;
    if (request.folder != nullptr &&
        !FolderInCodePage(request.folder, *request.codePage, &folder, &problem)) {
        Tell(stderr, "inx-check: " + problem + "\n");
        return kTrouble;
    }
    const PackageFolder package(fs::path(request.templatePath).parent_path().empty()
                                    ? fs::path(".")
                                    : fs::path(request.templatePath).parent_path(),
                                *request.codePage);
    const LineIndex lines(bytes);
    std::optional<std::string> script;
    const std::vector<Diagnostic> findings =
        ApplySuppressions(bytes, lines,
                          CheckTemplate(bytes, request.folder != nullptr ? &folder : nullptr,
                                        &package, *request.codePage, &script, request.windows),
                          request.disabled);
    bool errors = false;
    bool warnings = false;
    for (const Diagnostic& finding : findings) {
        errors = errors || finding.severity == Severity::Error;
        warnings = warnings || finding.severity == Severity::Warning;
    }
    if (request.format == Format::Sarif) {
        const fs::path folderName =
            fs::absolute(fs::path(request.templatePath)).parent_path().filename();
        const std::vector<Insertion> fix =
            UninstallInsertions(bytes, *request.codePage, PackageName(folderName.string()));
        if (!WriteWholeFile(nullptr,
                            SarifReport(request.templatePath, lines, findings, *request.codePage,
                                        INX_TOOLS_VERSION, bytes, fix))) {
            Tell(stderr, "inx-check: cannot write to standard output\n");
            return kTrouble;
        }
    } else {
        Tell(stderr, TextReport(request.templatePath, lines, findings, *request.codePage));
    }
    if (request.fix) {
        const fs::path folderName =
            fs::absolute(fs::path(request.templatePath)).parent_path().filename();
        const std::string patch = UnifiedDiff(
            request.templatePath, bytes,
            UninstallInsertions(bytes, *request.codePage, PackageName(folderName.string())));
        if (!WriteWholeFile(nullptr, patch)) {
            Tell(stderr, "inx-check: cannot write to standard output\n");
            return kTrouble;
        }
    }
    if (request.plan &&
        !WriteWholeFile(
            nullptr,
            PlanReport(bytes, request.folder != nullptr ? &folder : nullptr, *request.codePage,
                       request.format == Format::Json ? PlanFormat::Json : PlanFormat::Text,
                       request.windows))) {
        Tell(stderr, "inx-check: cannot write to standard output\n");
        return kTrouble;
    }
    const int status = errors || (warnings && request.warningsAreErrors) ? kFindings : kClean;
    if (request.folder == nullptr || status != kClean ||
        (request.plan && request.outputPath == nullptr)) {
        return status;  // an install.inf that would fail is not written
    }
    if (!script.has_value()) {
        Tell(stderr, "inx-check: the expansion's size does not fit in memory's address range\n");
        return kTrouble;
    }
    if (!WriteWholeFile(request.outputPath, *script)) {
        Tell(stderr, std::string("inx-check: cannot write '") +
                         (request.outputPath != nullptr ? request.outputPath : "standard output") +
                         "'\n");
        return kTrouble;
    }
    return kClean;
}

// Each folder number of the plan's table and the folder where its files
// land on `windows`, one to a line; the text %dirid% gives in a value after
// it where that differs.
std::string CodePageList()
{
    std::string list = CodePageNumbers() + "\n";
    for (std::size_t at = list.find(", "); at != std::string::npos; at = list.find(", ", at)) {
        list.replace(at, 2, "\n");
    }
    return list;
}

std::string FolderList(Windows windows)
{
    std::string list;
    for (const long dirid : DirectoryNumbers()) {
        std::string number = std::to_string(dirid);
        number.insert(0, number.size() < 5 ? 5 - number.size() : 0, ' ');
        const std::string text = DirectoryPath(dirid, windows);
        const std::string landing = FileLocation(text, windows);
        list.append(number).append("  ").append(landing);
        if (landing != text) {
            list.append(" (in a value: ").append(text).append(")");
        }
        list += '\n';
    }
    return list;
}

}  // namespace

int main(int argc, char** argv)
{
    Request request;
    std::string problem;
    if (!ParseRequest(argc, argv, &request, &problem)) {
        Tell(stderr, "inx-check: " + problem + "\n" + kUsage);
        return kTrouble;
    }
    if (request.help || request.version || request.listRules || request.listFolders ||
        request.listCodePages || request.explain != nullptr) {
        Tell(stdout, request.help      ? std::string(kUsage)
                     : request.version ? std::string("inx-check ") + INX_TOOLS_VERSION + "\n"
                     : request.explain != nullptr ? RuleExplanation(*request.explain)
                     : request.listFolders        ? FolderList(request.windows)
                     : request.listCodePages      ? CodePageList()
                                                  : RuleList());
        return kClean;
    }
    const int status = Check(request);
    if (status != kClean) {
        RemoveStaleOutput(request.outputPath);  // no install.inf stands for a failed run
    }
    return status;
}
