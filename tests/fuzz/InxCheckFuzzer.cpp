// inx-check on any template and folder, in any code page (picked by the
// input's size): no crash, every diagnostic within the file, its install.inf
// equal to the model's for Windows, its plan well-formed JSON, and --fix's
// lines inserted within the file.
#include "inx-check/command/PlanReport.h"
#include "inx-check/fix/Patch.h"
#include "inx-check/fix/UninstallFix.h"
#include "inx-check/reader/Rendering.h"
#include "inx-check/rules/TemplateCheck.h"
#include "tests/fuzz/ReferenceModel.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Brackets paired outside strings, no control character inside one, one value.
bool WellFormed(const std::string& json)
{
    std::string open;
    bool inString = false;
    for (std::size_t at = 0; at < json.size(); ++at) {
        const char c = json[at];
        if (inString) {
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            at += c == '\\' ? 1 : 0;
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            open += c;
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != (c == '}' ? '{' : '[')) {
                return false;
            }
            open.pop_back();
        }
    }
    return !inString && open.empty() && !json.empty() && json[0] == '{';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    std::string path;
    std::string templateBytes;
    SplitFuzzInput(data, size, &path, &templateBytes);
    const CodePage& page = kCodePageTables[size % kCodePageTableCount];
    for (const Diagnostic& diagnostic : CheckTemplate(templateBytes, &path, nullptr, page)) {
        if (diagnostic.offset.at > templateBytes.size() || diagnostic.text.empty()) {
            static_cast<void>(std::fprintf(stderr, "diagnostic at %lu of %lu bytes: '%s'\n",
                                           static_cast<unsigned long>(diagnostic.offset.at),
                                           static_cast<unsigned long>(templateBytes.size()),
                                           diagnostic.text.c_str()));
            std::abort();
        }
    }
    if (!WellFormed(PlanReport(templateBytes, &path, page, PlanFormat::Json)) ||
        PlanReport(templateBytes, &path, page, PlanFormat::Text).empty()) {
        static_cast<void>(std::fprintf(stderr, "the plan is not well-formed\n"));
        std::abort();
    }
    const std::size_t lineCount = SplitLines(templateBytes).size();
    for (const Insertion& insertion : UninstallInsertions(templateBytes, page, "Fuzz")) {
        if (insertion.after > lineCount) {
            static_cast<void>(std::fprintf(stderr, "--fix inserts after line %lu of %lu\n",
                                           static_cast<unsigned long>(insertion.after),
                                           static_cast<unsigned long>(lineCount)));
            std::abort();
        }
    }
    std::string script;
    const std::string expected =
        ModelWindowsScriptBytes(ModelExpansion(ModelWindowsTemplateText(templateBytes), path));
    if (!RenderInstallScript(templateBytes, path, &script) || script != expected) {
        static_cast<void>(std::fprintf(stderr, "install.inf differs from the model's\n"));
        std::abort();
    }
    return 0;
}
