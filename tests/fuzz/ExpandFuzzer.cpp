// ExpandPlaceholders and its measuring against the model, in exact and short buffers.
#include "script/InstallScript.h"
#include "tests/fuzz/ReferenceModel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        static_cast<void>(std::fprintf(stderr, "expansion differs from the model: %s\n", what));
        std::abort();
    }
}

// Checks one text against the model, in an exact buffer and in one a byte short.
void CheckExpansion(const std::string& templateText, const std::string& path)
{
    const char* text = templateText.c_str();
    const std::string expected = ModelExpansion(templateText, path);

    std::size_t scriptSize = 0;
    Check(MeasureExpansion(std::strlen(text), CountPlaceholders(text), path.size(), &scriptSize),
          "size does not fit");
    Check(scriptSize == expected.size() + 1, "measured size");

    // Exact heap blocks, so that AddressSanitizer sees any write past them.
    char* exact = static_cast<char*>(std::malloc(scriptSize));
    exact[0] = '\0';
    ScriptBuffer script{exact, 0, scriptSize};
    Check(ExpandPlaceholders(text, path.c_str(), &script), "refused a measured buffer");
    Check(std::string(script.text, script.length) == expected, "expanded text");
    Check(std::strlen(script.text) == script.length, "terminator");
    std::free(exact);

    if (scriptSize > 1) {
        char* tooSmall = static_cast<char*>(std::malloc(scriptSize - 1));
        tooSmall[0] = '\0';
        ScriptBuffer cut{tooSmall, 0, scriptSize - 1};
        Check(!ExpandPlaceholders(text, path.c_str(), &cut), "filled a buffer that is too small");
        Check(cut.length < cut.capacity && std::strlen(cut.text) == cut.length,
              "cut text not terminated within its buffer");
        Check(expected.compare(0, cut.length, cut.text, cut.length) == 0, "cut text");
        std::free(tooSmall);
    }
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
    // A text in memory: no text-mode rules, it ends at its first NUL.
    const std::string text = templateBytes.substr(0, templateBytes.find('\0'));
    CheckExpansion(text, path);

    // For one input in eight, the same text over and over past 40 000 bytes:
    // long texts are expanded in blocks, and this puts their seams everywhere.
    if (size % 8 == 0 && !text.empty()) {
        std::string tiled;
        while (tiled.size() < 40000) {
            tiled += text;
        }
        CheckExpansion(tiled, path);
    }
    return 0;
}
