// The registry data rules of AppPathFromRegistryData against the model.
#include "launcher/AppPath.h"
#include "tests/fuzz/ReferenceModel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

// Two bytes give the size the registry reports (up to 1001), the rest is the
// data; the buffer's bytes past the data hold leftovers that must be ignored.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::size_t dataSize =
        (data[0] | static_cast<std::size_t>(data[1]) << 8) % (kAppPathBufferSize + 2);
    std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    bytes.resize(kAppPathBufferSize, 'X');

    char* buffer = static_cast<char*>(std::malloc(kAppPathBufferSize));
    std::memcpy(buffer, bytes.data(), kAppPathBufferSize);
    const AppPathStatus status = AppPathFromRegistryData(buffer, dataSize);

    std::string expected;
    const bool found = ModelAppPath(bytes, dataSize, &expected);
    const bool same = found ? status == AppPathStatus::Found && expected == buffer
                            : status == AppPathStatus::ValueMissing;
    std::free(buffer);
    if (!same) {
        static_cast<void>(std::fprintf(stderr, "application path differs from the model\n"));
        std::abort();
    }
    return 0;
}
