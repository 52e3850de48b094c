// Drives a fuzz target where libFuzzer is not available (Windows): runs every
// file of the folders named, then `--random N` structured random inputs.
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

// Inputs built from the pieces that matter: placeholders whole and cut,
// line ends, Ctrl-Z, NUL and plain bytes.
std::string RandomInput(std::uint32_t* state)
{
    static const std::string kPieces[] = {
        "VUZAZURAV",          "VUZAZURA", "VU", "V",  "\r",   "\n",        "\r\n", "\n\r", "\x1A",
        std::string(1, '\0'), "x",        ";",  "\"", "\xE9", "[Section]", "Key=", " "};
    auto next = [state]() {
        *state ^= *state << 13;
        *state ^= *state >> 17;
        *state ^= *state << 5;
        return *state;
    };
    std::string input;
    const std::uint32_t pathLength = next() % 4 == 0 ? 999 : next() % 40;
    input += static_cast<char>(pathLength & 0xFF);
    input += static_cast<char>(pathLength >> 8);
    for (std::uint32_t i = 0; i < pathLength; ++i) {
        input += next() % 8 == 0 ? 'V' : static_cast<char>('a' + next() % 26);
    }
    const std::uint32_t pieces = next() % 200;
    for (std::uint32_t i = 0; i < pieces; ++i) {
        const std::size_t piece = next() % (sizeof kPieces / sizeof kPieces[0]);
        input += kPieces[piece];
    }
    return input;
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
