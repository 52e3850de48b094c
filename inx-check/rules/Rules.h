// inx-check's rules, in one table: each finding names one. The messages, the
// rule list, the SARIF rule metadata and the manual are all made from it.
//
// Severity policy. An error is something the INF engine does that the author
// cannot want: it hangs, refuses the INF, installs nothing or less than the
// template says, or puts a file or value where the template does not say. A
// warning is a likely leftover, a difference between Wine and Windows, or
// something that works but is fragile.
#pragma once

#include <cstddef>
#include <string_view>

enum class Severity { Warning, Error };

enum class Rule {
    // install.exe's reading of the template
    Utf16Template,
    EarlyEnd,
    NoPlaceholder,
    QuotedPlaceholder,
    PlaceholderCase,
    Utf8Text,
    LongLine,
    FolderTooLong,
    FolderList,
    TooLarge,
    FolderAltered,
    // the INF as a whole
    InfRefused,
    NoSignature,
    TextBeforeSection,
    NoInstallSection,
    IgnoredInstallSection,
    DriverRoute,
    // fields and strings
    UnclosedQuote,
    LineJoined,
    StringsCut,
    QuotesRemoved,
    ValueTooLong,
    ValueCutByWine,
    UndefinedString,
    UndefinedStringInValue,
    UnknownDirid,
    // directives, copied files and destinations
    MissingSection,
    ServiceRefused,
    ServiceBinaryRedirected,
    DriverRedirected,
    DefaultDestination,
    DiridNotNumber,
    ProgramDirid,
    WindowsOnlyDirid,
    DestinationPath,
    DestinationTooLong,
    OtherDrive,
    Sysnative,
    FolderInEntry,
    MissingFile,
    WineSource,
    CopyPathTooLong,
    // the registry
    RegistryRoot,
    RegistryFlags,
    ExtraValueFields,
    // what uninstalling leaves
    UninstallLeaves,
    NoUninstall,
    UninstallEngine,
    // the checker's own comments
    UnknownRule,
};

// A template that shows a rule: checked beside a package holding app.exe,
// for `folder` (padded with 'x' to `folderLength` bytes) when one is given.
struct RuleExample {
    constexpr RuleExample(std::string_view text = {}, std::string_view given = {},
                          std::size_t length = 0)
        : inf(text), folder(given), folderLength(length)
    {
    }

    std::string_view inf;
    std::string_view folder;
    std::size_t folderLength;
};
inline constexpr char kExamplePackageFile[] = "app.exe";

struct RuleInfo {
    Rule rule;
    Severity severity;
    std::string_view name;         // as written in findings and suppressions
    std::string_view summary;      // one line
    std::string_view explanation;  // what the engine does, and what to write instead
    RuleExample produces;          // a template that gives the finding (none: no short one does)
    RuleExample avoids;            // the same written as meant, which does not
    std::string_view fix = {};     // what inx-check --fix writes for it; empty: no one fix
};

// The example's folder; empty when none is given.
std::string ExampleFolder(const RuleExample& example);

// Every rule, in the order of the enumeration.
const RuleInfo* RulesBegin();
const RuleInfo* RulesEnd();
std::size_t RuleCount();

const RuleInfo& InfoOf(Rule rule);

// The rule called `name`, or false.
bool FindRule(std::string_view name, Rule* rule);
