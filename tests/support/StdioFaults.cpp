#include "tests/support/StdioFaults.h"

#include <cstdio>

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the linker's names
// The C runtime's own functions, as the linker's --wrap names them.
extern "C" {
std::size_t __real_fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream);
std::size_t __real_fwrite(const void* buffer, std::size_t size, std::size_t count,
                          std::FILE* stream);
int __real_fflush(std::FILE* stream);
int __real_fclose(std::FILE* stream);
int __real_ferror(std::FILE* stream);
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace {

StdioFault armed = StdioFault::None;
bool taken = false;
std::FILE* failedStream = nullptr;

bool Take(StdioFault fault, std::FILE* stream)
{
    if (armed != fault) {
        return false;
    }
    armed = StdioFault::None;
    taken = true;
    failedStream = stream;
    return true;
}

}  // namespace

void InjectStdioFault(StdioFault fault)
{
    armed = fault;
    taken = false;
}

bool StdioFaultTaken()
{
    return taken;
}

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the linker's names
extern "C" {

std::size_t __wrap_fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream)
{
    if (Take(StdioFault::ReadError, stream)) {
        return __real_fread(buffer, size, count / 2, stream);
    }
    return __real_fread(buffer, size, count, stream);
}

std::size_t __wrap_fwrite(const void* buffer, std::size_t size, std::size_t count,
                          std::FILE* stream)
{
    if (Take(StdioFault::ShortWrite, stream)) {
        return __real_fwrite(buffer, size, count / 2, stream);
    }
    return __real_fwrite(buffer, size, count, stream);
}

int __wrap_fflush(std::FILE* stream)
{
    const int flushed = __real_fflush(stream);
    return Take(StdioFault::FlushError, stream) ? EOF : flushed;
}

int __wrap_fclose(std::FILE* stream)
{
    if (stream == failedStream) {
        failedStream = nullptr;
    }
    const int closed = __real_fclose(stream);
    return Take(StdioFault::CloseError, nullptr) ? EOF : closed;
}

int __wrap_ferror(std::FILE* stream)
{
    return stream == failedStream ? 1 : __real_ferror(stream);
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
