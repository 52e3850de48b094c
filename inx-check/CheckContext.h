// What the checker's rules share: the template, its rendering for one
// folder, the engine's reading of that install.inf, and the findings. Each
// group of rules is a function over it, in a file of its own.
#pragma once

#include "inx-check/InfReader.h"
#include "inx-check/Rendering.h"
#include "inx-check/TemplateCheck.h"

#include <string>
#include <vector>

struct CheckContext {
    CheckContext(const std::string& fileBytes, const std::string* givenFolder,
                 const Package* packageFolder, const CodePage& codePage);

    const std::string& bytes;
    const std::string folder;  // the application's, or the stand-in
    const bool folderGiven;
    const Package* package;
    const CodePage& page;  // the one the engine reads install.inf in
    Rendering rendering;
    Inf inf;
    std::vector<bool> namesSomething;  // by field: names a folder, file, section or key
    std::vector<const InfLine*> checkedDestinations;
    std::vector<Diagnostic> findings;

    void Add(Rule rule, FileOffset at, std::string text);
    void Add(Rule rule, TextOffset at, std::string text);
    void Add(Rule rule, InfOffset at, std::string text);

    // A field's text with %key% pairs substituted, as the engine hands it out.
    std::string Value(const InfField& field) const;
    // Marks the field as naming a folder, file, section or registry key.
    void MarkName(const InfField& field);
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
// A CopyFiles section, or CopyFiles=@file (section null, `file` its name).
void CheckCopyFiles(CheckContext& check, const InfSection* section, const InfField& cause);
// An AddReg or DelReg section.
void CheckRegistry(CheckContext& check, const InfSection& section, bool adding);

// Helpers more than one group of rules needs.

// The directory numbers that Microsoft documents for [DestinationDirs].
enum class DirectoryKnown { Yes, WindowsOnly, No };
DirectoryKnown KnowsDirectory(long dirid);
// A program's own directory numbers, which an INF run by the shell never defines.
inline constexpr long kFirstProgramDirid = 0x8000;
inline constexpr long kLastProgramDirid = 65999;
// The number that `text` spells out (decimal, 0x hexadecimal or 0 octal, as
// the engine reads it); false when it is not one.
bool IsNumber(const std::string& text, long* number);
std::string Quoted(const std::string& text);
