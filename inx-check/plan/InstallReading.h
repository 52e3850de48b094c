// What the engine reads of an install or uninstall section before it acts:
// the section and every section it leads to, read once into plain requests,
// each field as the engine hands it out on one Windows (folders resolved,
// numbers read as the engine reads them). The planner acts on these alone.
// Portable.
#pragma once

#include "inx-check/plan/InstallPlan.h"
#include "inx-check/plan/Windows.h"
#include "inx-check/reader/InfReader.h"

#include <optional>
#include <string>
#include <vector>

// One AddReg or DelReg line, as read.
struct RegistryRequest {
    std::string key;  // the root's full name (HKR: the owner's key), then the subkey
    std::string name;
    unsigned long flags = 0;
    std::size_t fieldCount = 0;        // the line's fields, as SetupGetFieldCount counts them
    std::vector<std::string> data;     // the fields from the fifth on, as handed out
    std::vector<std::string> written;  // the same fields as written: what binary data is read from
    InfOffset at;
};

// The lines of the DelReg sections, then of the AddReg sections, that a
// section names, in order.
struct RegistryRequests {
    std::vector<RegistryRequest> deletes;
    std::vector<RegistryRequest> adds;
};

// One section the engine runs for an install section: itself, or one that
// its Needs= lines name.
struct RunRequests {
    std::string section;  // as written in its header
    InfOffset header{0};
    std::vector<PlannedFile> copies;
    std::vector<PlannedPath> deletes;
    std::vector<PlannedRename> renames;
    RegistryRequests registry;  // HKR names no key here
};

// The event-log section of an AddService line (its fourth field).
struct EventLogRequest {
    std::string section;        // as written in its header
    std::string key;            // the event source's: HKR in `registry`
    RegistryRequests registry;  // the section's
    InfOffset at;
};

// An AddService line with a name, flags and a section, and the service
// section it names.
struct ServiceRequest {
    std::string name;
    std::string key;           // HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\NAME
    std::string sectionNamed;  // as the line names it
    bool sectionExists = false;
    std::string section;  // as written in its header
    // The first value of the section's ServiceType, StartType and
    // ErrorControl lines (an empty one is 0); none without the line or a
    // number.
    std::optional<long> serviceType;
    std::optional<long> startType;
    std::optional<long> errorControl;
    std::optional<std::string> binary;  // none without a ServiceBinary line with a value
    RegistryRequests registry;          // the service section's: HKR is `key`
    std::optional<EventLogRequest> eventLog;
    InfOffset at;
};

// A DelService line with a name field.
struct ServiceDeleteRequest {
    std::string name;            // empty: the engine cannot open the service, and stops
    long flags = 0;              // 0 unless a number
    std::string eventSourceKey;  // the source's key, in the log and under the name the line gives
    InfOffset at;
};

struct SectionRequests {
    std::string section;  // as written in its header
    InfOffset header{0};
    std::vector<RunRequests> runs;  // the section itself first
    // [SECTION.Services]: its AddService lines, and its DelService lines.
    std::vector<ServiceRequest> services;
    std::vector<ServiceDeleteRequest> serviceDeletes;
    std::vector<NotModelled> notModelled;  // of the section itself
};

// The section the engine runs for `name` ("DefaultInstall", "DefaultUninstall"),
// read; none when there is none.
std::optional<SectionRequests> ReadSection(const Inf& inf, Windows windows,
                                           const std::string& name);

// The lines of `section` that name a root the engine knows, in order; HKR is
// `ownKey` (a service's key; none in an install section).
std::vector<RegistryRequest> ReadRegistryLines(const Inf& inf, Windows windows,
                                               const InfSection& section,
                                               const std::string& ownKey);

// The section the engine runs for `name`: [NAME.NTx86] (the 64-bit engine's
// [NAME.NTamd64]), or else [NAME.NT], each only with a line, or else [NAME].
const InfSection* ChosenSection(const Inf& inf, const std::string& name,
                                Windows windows = Windows::Bits32);

// The sections the engine runs for the install section `install`: itself,
// then each that its Needs= lines name (Windows; Wine 8 runs none of those).
std::vector<const InfSection*> SectionsRun(const Inf& inf, const InfSection& install);

// The [DestinationDirs] line for the file section `name`: its own, or
// DefaultDestDir (the only one for an empty name, as for CopyFiles=@file);
// nullptr when there is neither (the engine copies into the system folder).
const InfLine* DestinationLine(const Inf& inf, const std::string& name);
// Which source sections an engine reads: Windows' x86 engine reads
// [SourceDisksFiles.x86] and [SourceDisksNames.x86] before the plain ones;
// Wine 8's engine reads the plain ones alone.
enum class SourceSections { PlatformFirst, PlainOnly };
// Where in the package the engine looks for the file `name`:
// [SourceDisksFiles] names its disk and subfolder, [SourceDisksNames] the
// disk's folder.
std::string PackageSourcePath(const Inf& inf, const std::string& name,
                              SourceSections sections = SourceSections::PlatformFirst);
