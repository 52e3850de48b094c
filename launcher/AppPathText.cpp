#include "launcher/AppPath.h"

#include <cstring>

AppPathStatus AppPathFromRegistryData(char* path, std::size_t dataSize)
{
    if (dataSize > kAppPathBufferSize) {
        return AppPathStatus::ValueMissing;
    }
    if (std::memchr(path, '\0', dataSize) != nullptr) {
        return AppPathStatus::Found;
    }
    if (dataSize == kAppPathBufferSize) {
        return AppPathStatus::ValueMissing;
    }
    path[dataSize] = '\0';
    return AppPathStatus::Found;
}
