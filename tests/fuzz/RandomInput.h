// Structured random fuzz inputs, for platforms without libFuzzer.
#pragma once

#include <cstdint>
#include <string>

// An input in SplitFuzzInput's form, built from the pieces that matter:
// placeholders whole and cut, line ends, Ctrl-Z, NUL and plain bytes. `state`
// is a nonzero xorshift state, advanced.
std::string RandomInput(std::uint32_t* state);
