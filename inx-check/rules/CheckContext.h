// What the checker's rules share: facts made before any rule runs (the
// template, its rendering for one folder, the engine's reading of that
// install.inf, which of its fields name things) and the findings. Each group
// of rules is a function over it, in a file of its own, and keeps its own
// state.
#pragma once

#include "inx-check/reader/InfReader.h"
#include "inx-check/plan/Plan.h"
#include "inx-check/reader/Rendering.h"
#include "inx-check/rules/Diagnostic.h"

#include <string>
#include <utility>
#include <vector>

struct CheckContext {
    CheckContext(const std::string& fileBytes, const std::string* givenFolder,
                 const Package* packageFolder, const CodePage& codePage, Windows windows);
    CheckContext(const CheckContext&) = delete;  // `inf` points into `rendering`
    CheckContext& operator=(const CheckContext&) = delete;

    const std::string& bytes;
    const std::string folder;  // the application's, or the stand-in
    const bool folderGiven;
    const Package* package;
    const CodePage& page;                    // the one the engine reads install.inf in
    const Rendering rendering;               // for `folder`, unless too large (Rendered())
    const Inf inf;                           // the engine's reading of it
    const std::vector<bool> namesSomething;  // by field: names a folder, file, section or key
    const InstallPlan plan;                  // what installing and uninstalling will do
    std::vector<Diagnostic> findings;

    void Add(Rule rule, FileOffset at, std::string text);
    void Add(Rule rule, TextOffset at, std::string text);
    void Add(Rule rule, InfOffset at, std::string text);

    // A field's text with %key% pairs substituted, as the engine hands it out.
    std::string Value(const InfField& field) const;
    // The index of the first inserted folder that `field` overlaps, or kNowhere.
    std::size_t FolderIn(const InfField& field) const;
};

// The rules, by concern. Each adds its findings to the context.

// On the template's own bytes, before the engine reads anything; false
// when the template is not text that install.exe can read at all.
bool CheckTemplateBytes(CheckContext& check);
// The folder given on the command line, on its own.
void CheckFolderItself(CheckContext& check);
// Whether the engine reads install.inf at all; false when it refuses it.
bool CheckInfAccepted(CheckContext& check);
// Every field as the engine reads it: quotes, joins, lengths, the folder.
void CheckFields(CheckContext& check);
// The template's own %...% pairs, once the fields that name things are marked.
void CheckPairs(CheckContext& check);
// The install section the shell's verb runs, and its directives.
void CheckInstallSection(CheckContext& check);
void CheckServices(CheckContext& check);
// Whether Windows 10 1903 and later hand the INF to the driver installer instead.
void CheckDriverRoute(CheckContext& check);
// The CopyFiles sections of one install section, each destination checked once.
class CopyChecks {
public:
    explicit CopyChecks(CheckContext& check) : check_(check) {}
    // A CopyFiles section, or CopyFiles=@file (section null, `cause` the field).
    void Check(const InfSection* section, const InfField& cause);

private:
    CheckContext& check_;
    std::vector<const InfLine*> checkedDestinations_;
};
// An AddReg or DelReg section.
void CheckRegistry(CheckContext& check, const InfSection& section, bool adding);
// What uninstalling leaves of what the installation makes.
void CheckUninstall(CheckContext& check);

// Helpers more than one group of rules needs.

// The install section the shell's verb runs: [DefaultInstall.NTx86], or else
// [DefaultInstall.NT], or else [DefaultInstall] (a decorated one only when it
// has a line); nullptr when there is none.
const InfSection* ChosenInstallSection(const Inf& inf);
// Each directive line that names sections, of the install section and of the
// sections its Needs= lines name: the directive in lower case, and the line.
std::vector<std::pair<std::string, const InfLine*>> DirectiveLines(const Inf& inf,
                                                                   const InfSection& install);
// By field: whether the installation reads it as the name of a folder, file,
// section or registry key.
std::vector<bool> NamingFields(const Inf& inf);

// A program's own directory numbers, which an INF run by the shell never defines.
inline constexpr long kFirstProgramDirid = 0x8000;
inline constexpr long kLastProgramDirid = 65999;
std::string Quoted(const std::string& text);
