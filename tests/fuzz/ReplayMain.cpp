// Drives a fuzz target where libFuzzer is not available (Windows): runs every
// file of the folders named, then `--random N` structured random inputs.
#include "tests/fuzz/RandomInput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

void Run(const std::string& input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const unsigned char*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    unsigned runs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--random") == 0 && i + 1 < argc) {
            std::uint32_t state = 0x9E3779B9u;
            const unsigned long count = std::strtoul(argv[++i], nullptr, 10);
            for (unsigned long n = 0; n < count; ++n, ++runs) {
                Run(RandomInput(&state));
            }
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream file(entry.path(), std::ios::binary);
            Run(std::string(std::istreambuf_iterator<char>(file),
                            std::istreambuf_iterator<char>()));
            ++runs;
        }
    }
    std::printf("%u inputs matched the model\n", runs);
    return runs > 0 ? 0 : 1;
}
