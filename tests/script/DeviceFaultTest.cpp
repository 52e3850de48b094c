// Real faults that the native platform can produce on demand.
#include "script/InstallScript.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define INSTALL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define INSTALL_TEST_ASAN 1
#endif
#endif

namespace fs = std::filesystem;

namespace {

TEST(DeviceFaults, FullDiskGivesScriptNotWrittenAndRemovesTheScript)
{
    ScratchDirectory scratch;
    WriteFileBytes("install.inx", "Dir=VUZAZURAV\n");
    fs::create_symlink("/dev/full", "install.inf");

    EXPECT_EQ(ScriptStatus::ScriptNotWritten, GenerateInstallScript("/opt/app"));
    EXPECT_FALSE(fs::exists(fs::symlink_status("install.inf")));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
}

TEST(DeviceFaults, UnmeasurableTemplateIsUnreadable)
{
    ScratchDirectory scratch;
    ASSERT_EQ(0, mkfifo("install.inx", 0600));
    // A writer of our own, so that opening the pipe for reading does not block.
    const int writer = open("install.inx", O_RDWR);
    ASSERT_GE(writer, 0);  // cppcheck-suppress resourceLeak ; nothing is open when it fails
    const bool wrote = write(writer, "text", 4) == 4;
    const ScriptStatus status = GenerateInstallScript("/opt/app");
    close(writer);

    EXPECT_TRUE(wrote);
    EXPECT_EQ(ScriptStatus::TemplateUnreadable, status);
    EXPECT_FALSE(fs::exists("install.inf"));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
}

#ifdef INSTALL_TEST_ASAN
// AddressSanitizer needs a vast address space of its own, so it caps
// allocations itself: anything over 128 MiB fails, as the caps below intend.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): AddressSanitizer's hook
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=128";
}

struct AddressSpaceLimit {
    explicit AddressSpaceLimit(rlim_t) {}
};
#else
// Caps this process's address space at what it uses now plus some headroom,
// for the holder's lifetime.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(rlim_t headroom)
    {
        getrlimit(RLIMIT_AS, &previous_);
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        rlimit limit = previous_;
        limit.rlim_cur = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
        setrlimit(RLIMIT_AS, &limit);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &previous_); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

private:
    rlimit previous_{};
};
#endif

constexpr rlim_t kHeadroom = 256u << 20;

TEST(DeviceFaults, NoRoomForTheTemplateIsOutOfMemory)
{
    ScratchDirectory scratch;
    // A sparse 1 GiB template: no disk used, but its buffer cannot be had.
    {
        std::ofstream file("install.inx", std::ios::binary);
    }
    fs::resize_file("install.inx", 1u << 30);
    WriteFileBytes("install.inf", "previous");

    ScriptStatus status = ScriptStatus::Written;
    {
        AddressSpaceLimit limit(kHeadroom);
        status = GenerateInstallScript("/opt/app");
    }
    EXPECT_EQ(ScriptStatus::OutOfMemory, status);
    EXPECT_FALSE(fs::exists("install.inf"));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
}

TEST(DeviceFaults, NoRoomForTheExpansionIsOutOfMemory)
{
    ScratchDirectory scratch;
    // 1.5 MB of placeholders expand to 165 MB with the longest path: the
    // template fits under the cap, its expansion does not.
    std::string text;
    for (int i = 0; i < 165000; ++i) {
        text += kPlaceholder;
    }
    WriteFileBytes("install.inx", text);
    const std::string path(999, 'p');

    ScriptStatus status = ScriptStatus::Written;
    {
        AddressSpaceLimit limit(64u << 20);
        status = GenerateInstallScript(path.c_str());
    }
    EXPECT_EQ(ScriptStatus::OutOfMemory, status);
    EXPECT_FALSE(fs::exists("install.inf"));
    EXPECT_FALSE(IsFileHeldOpen("install.inx"));
}

}  // namespace
