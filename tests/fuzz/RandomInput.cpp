#include "tests/fuzz/RandomInput.h"

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
