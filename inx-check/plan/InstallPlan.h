// The install plan's types: what the engine's install section and uninstall
// section will do to the machine: files copied, deleted and renamed, registry
// values and keys written and deleted, services added and deleted, and the
// directives that are not modelled; from the two, what uninstalling leaves
// behind. Portable.
#pragma once

#include "inx-check/plan/Windows.h"
#include "inx-check/reader/Offsets.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Value types as the registry stores them.
enum : unsigned long {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegLink = 6,
    kRegMultiSz = 7,
    kRegQword = 11,
};
// "REG_SZ" and the like; "type N" for a number no type has.
std::string RegistryTypeName(unsigned long type);

// Each planned item says whether Wine 8's engine does it too: `wineSkips`
// marks one that a part of the plan Wine 8 does not run makes (WineSkip).
struct PlannedFile {
    std::string source;  // relative to the package's folder
    std::string destination;
    InfOffset at;
    std::string wineSource;  // where Wine 8's engine looks instead; empty: the same
    bool wineSkips = false;
};

struct PlannedPath {
    std::string path;
    InfOffset at;
    bool wineSkips = false;
};

struct PlannedRename {
    std::string from;
    std::string to;
    InfOffset at;
    bool wineSkips = false;
};

// How an AddReg line writes its value.
enum class Write {
    Set,            // whatever was there
    IfMissing,      // FLG_ADDREG_NOCLOBBER: only where the value does not exist
    IfPresent,      // FLG_ADDREG_OVERWRITEONLY: only where key and value exist
    AppendStrings,  // FLG_ADDREG_APPEND: each string the REG_MULTI_SZ lacks, at its end
};

struct PlannedValue {
    std::string key;   // with the root's full name: HKEY_LOCAL_MACHINE\Software\...
    std::string name;  // "" for the key's default value
    unsigned long type = kRegSz;
    std::vector<std::string> strings;  // REG_SZ, REG_EXPAND_SZ, REG_LINK: one; REG_MULTI_SZ: each
    unsigned long number = 0;          // REG_DWORD
    std::string bytes;                 // given as bytes: those the engine read
    bool binary = false;               // given as bytes (FLG_ADDREG_BINVALUETYPE)
    bool bytesKnown = true;            // false: a field held more than a byte, and the
                                       // engine writes as many bytes as fields, unread
    Write write = Write::Set;
    InfOffset at;
    bool wineSkips = false;
};

struct PlannedKey {
    std::string key;
    InfOffset at;
    bool wineSkips = false;
};

// A DelReg line, or an AddReg line with FLG_ADDREG_DELVAL.
struct PlannedRegistryDelete {
    std::string key;
    std::optional<std::string> name;    // none: the key with everything under it
    std::optional<std::string> string;  // FLG_DELREG_MULTI_SZ_DELSTRING: that string alone
    InfOffset at;
    bool wineSkips = false;
};

struct PlannedService {
    std::string name;
    std::string key;  // HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\NAME
    std::string binary;
    InfOffset at;
    long type = 0;  // ServiceType: a driver's 1 or 2, a program's 0x10 or 0x20
};

// A key that Wine puts elsewhere than Windows does (WineRegistryLocation).
struct WineDifference {
    std::string key;
    std::string wineKey;
    InfOffset at;
};

// An AddService line the engine refuses: it runs no later AddService or
// DelService line of the section.
struct RefusedService {
    std::string name;
    std::string why;  // "has no name", "[S] has no ServiceBinary", ...
    InfOffset at;
};

struct NotModelled {
    std::string directive;  // as written
    InfOffset at;
    std::vector<std::string> touches;  // the files it writes, where known (UpdateInis)
};

// A part of the plan that Windows' engine runs and Wine 8's does not (a
// section Needs= names, an AddService line's event-log section, a DelService
// line after the first); its items are marked `wineSkips`.
struct WineSkip {
    std::string what;  // "[N] for Needs=", ...
    InfOffset at;
};

struct SectionPlan {
    std::string section;  // as written in its header
    InfOffset header{0};
    std::vector<PlannedFile> files;
    std::vector<PlannedPath> deletes;
    std::vector<PlannedRename> renames;
    std::vector<PlannedValue> registry;
    std::vector<PlannedKey> keys;  // every key an AddReg line makes (unless it exists)
    std::vector<PlannedRegistryDelete> registryDeletes;
    // DelReg lines with AddReg's flags: Windows versions differ on whether they delete the value.
    std::vector<PlannedRegistryDelete> registryDeletesVary;
    std::vector<PlannedService> services;
    std::vector<PlannedPath> serviceDeletes;  // the service's name
    std::optional<RefusedService> serviceRefused;
    std::vector<NotModelled> notModelled;
    std::vector<WineDifference> wineDiffers;  // each key once
    std::vector<WineSkip> wineSkips;

    bool ChangesAnything() const;
};

// The part of `plan` that Wine 8's engine runs: the items it skips left out.
SectionPlan WineRun(const SectionPlan& plan);

// What the installation adds and the uninstallation does not take away.
struct Leftovers {
    std::vector<PlannedPath> files;
    struct Registry {
        std::string key;
        std::optional<std::string> name;  // none: the key itself
        InfOffset at;
    };
    std::vector<Registry> registry;
    std::vector<PlannedPath> services;
    // Keys the installation makes and the uninstallation keeps that are not the
    // package's own: left too, unless they were there before.
    std::vector<PlannedKey> keysIfNew;
};

// On 64-bit Windows, the uninstallation as the list of installed programs (a
// 64-bit program) starts the registered UninstallString, when that runs the
// 64-bit engine on this INF: the section it runs there, with nothing
// redirected, and what it then leaves of what the 32-bit engine installed.
struct NativeUninstall {
    std::string command;              // the UninstallString
    std::string section;              // as the command names it
    std::optional<SectionPlan> plan;  // none: the engine finds no such section
    Leftovers leftBehind;
    std::optional<Leftovers> wineLeftBehind;  // as with InstallPlan's
    Leftovers leftBy32BitEngine;              // the same section run by SysWOW64's rundll32.exe
    InfOffset at;                             // the UninstallString's line
};

struct InstallPlan {
    Windows windows = Windows::Bits32;
    std::optional<SectionPlan> install;    // none: the engine installs nothing
    std::optional<SectionPlan> uninstall;  // [DefaultUninstall], chosen as the install section is
    Leftovers leftBehind;
    // What uninstalling leaves under Wine 8, which does not run all of both
    // sections; none where that is what it leaves on Windows.
    std::optional<Leftovers> wineLeftBehind;
    std::string uninstallString;  // the UninstallString the installation registers, if any
    std::optional<NativeUninstall> nativeUninstall;
};
