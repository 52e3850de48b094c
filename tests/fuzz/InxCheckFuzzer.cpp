// inx-check on any template and folder, in any code page (picked by the
// input's size): no crash, every diagnostic within the file, and its
// install.inf equal to the model's for Windows.
#include "inx-check/TemplateCheck.h"
#include "tests/fuzz/ReferenceModel.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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
    std::string script;
    const std::string expected =
        ModelWindowsScriptBytes(ModelExpansion(ModelWindowsTemplateText(templateBytes), path));
    if (!RenderInstallScript(templateBytes, path, &script) || script != expected) {
        static_cast<void>(std::fprintf(stderr, "install.inf differs from the model's\n"));
        std::abort();
    }
    return 0;
}
