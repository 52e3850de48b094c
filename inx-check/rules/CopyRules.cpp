#include "inx-check/rules/CheckContext.h"
#include "inx-check/plan/InstallReading.h"
#include "inx-check/plan/PlanFields.h"

#include <algorithm>
#include <cctype>

namespace {

// Wine's INF engine cannot make a folder this long; Windows' file paths stay
// under MAX_PATH.
constexpr std::size_t kLongestDestination = 259;
constexpr std::size_t kLongestWindowsPath = 260;
// The directory number that takes the folder's path as its second field.
constexpr long kAbsoluteDirid = -1;

bool IsAbsolutePath(const std::string& path)
{
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 &&
                       path[1] == ':' && path[2] == '\\';
    return drive || path.rfind("\\\\", 0) == 0;
}

// The path a destination line names with directory -1, or false.
bool AbsoluteDestination(const CheckContext& check, const InfLine& line, std::string* path)
{
    long number = 0;
    if (!IntField(check.Value(check.inf.Value(line, 0)), &number) || number != kAbsoluteDirid) {
        return false;
    }
    *path = line.valueCount > 1 ? check.Value(check.inf.Value(line, 1)) : "";
    return true;
}

// The destination line for the CopyFiles section `name`: its own, or
// DefaultDestDir (the only one for an empty name, as for CopyFiles=@file).
const InfLine* DestinationFor(CheckContext& check, const std::string& name, const InfField& cause)
{
    const InfSection* destinations = check.inf.Find("destinationdirs");
    if (destinations == nullptr) {
        check.Add(Rule::DefaultDestination, cause.begin,
                  "no [DestinationDirs] section: the engine copies these files into the system "
                  "folder (C:\\Windows\\System32), its default");
        return nullptr;
    }
    const InfLine* line = DestinationLine(check.inf, name);
    if (line == nullptr) {
        check.Add(Rule::DefaultDestination, cause.begin,
                  "[DestinationDirs] names no folder for " + Quoted(name) +
                      " and has no DefaultDestDir: the engine copies into the system folder "
                      "(C:\\Windows\\System32), its default");
    }
    return line;
}

void CheckDestination(CheckContext& check, const InfLine& line)
{
    const Inf& inf = check.inf;
    const InfField& dirid = inf.Value(line, 0);
    const std::string written = check.Value(dirid);
    long number = 0;
    if (!IntField(written, &number)) {
        check.Add(Rule::DiridNotNumber, dirid.begin,
                  "the folder number " + Quoted(written) +
                      " is not a number: the engine copies into the system folder");
        return;
    }
    if (number >= kFirstProgramDirid && number <= kLastProgramDirid) {
        check.Add(Rule::ProgramDirid, dirid.begin,
                  "directory " + written +
                      " is a program's own number, which no INF installed by the shell "
                      "defines: the engine copies into the system folder");
        return;
    }
    const DirectoryKnown known = KnowsDirectory(number);
    if (known != DirectoryKnown::Yes) {
        check.Add(known == DirectoryKnown::No ? Rule::UnknownDirid : Rule::WindowsOnlyDirid,
                  dirid.begin,
                  "directory " + written +
                      (known == DirectoryKnown::No
                           ? " names no folder that Windows' engine knows: it copies into an "
                             "'unknown' folder under the system folder"
                           : " is known to Windows but not to Wine's INF engine"));
        return;
    }
    std::string path;
    const bool absolute = AbsoluteDestination(check, line, &path);
    const std::string sub = line.valueCount > 1 ? check.Value(inf.Value(line, 1)) : "";
    const std::string folder = absolute      ? path
                               : sub.empty() ? DirectoryPath(number, Windows::Bits32)
                                             : DirectoryPath(number, Windows::Bits32) + "\\" + sub;
    const std::string lowered = LowerAscii(folder);
    const std::string sysnative = "c:\\windows\\sysnative";
    if (lowered.compare(0, sysnative.size(), sysnative) == 0 &&
        (lowered.size() == sysnative.size() || lowered[sysnative.size()] == '\\')) {
        check.Add(Rule::Sysnative, line.valueCount > 1 ? inf.Value(line, 1).begin : dirid.begin,
                  "the destination " + Quoted(folder) +
                      " is under Sysnative: on 64-bit Windows the native System32, where "
                      "64-bit programs look; on 32-bit Windows a folder of that name that the "
                      "engine makes and nothing reads");
    }
    if (!absolute) {
        return;
    }
    if (path.empty()) {
        check.Add(Rule::DestinationPath,
                  line.valueCount < 2 ? dirid.begin : inf.Value(line, 1).begin,
                  "directory -1 with no path: the engine cannot make the folder and waits "
                  "forever (Wine)");
        return;
    }
    const InfOffset at = inf.Value(line, 1).begin;
    if (path.rfind("<DIRID ", 0) == 0) {
        return;  // the engine puts the system folder of that number first (seen under Wine)
    }
    if (!IsAbsolutePath(path)) {
        check.Add(Rule::DestinationPath, at,
                  "directory -1 takes an absolute path, and " + Quoted(path) +
                      " is relative: the engine makes it under its own working folder");
    } else if (path.size() >= kLongestDestination) {
        check.Add(Rule::DestinationTooLong, at,
                  "the destination is " + std::to_string(path.size()) +
                      " characters long: Wine's INF engine cannot make it and waits forever; "
                      "Windows copies to paths of fewer than " +
                      std::to_string(kLongestWindowsPath) + " characters");
    } else if (std::toupper(static_cast<unsigned char>(path[0])) != 'C' && path[1] == ':') {
        check.Add(Rule::OtherDrive, at,
                  "the destination is on drive " + path.substr(0, 2) +
                      ": where that drive does not exist, the engine waits forever (Wine)");
    }
}

// A CopyFiles entry's file name as Windows reads it; the unclosed-quote
// warning already names Wine's CR.
std::string FileName(const CheckContext& check, const InfField& field)
{
    return AsWindowsReads(field, check.Value(field));
}

void CheckCopiedFile(CheckContext& check, const InfField& field, const std::string& target,
                     const std::string& source, const InfLine* destination)
{
    for (const std::string* name : {&target, &source}) {
        if (FindCharacter(check.page, *name, '\\') != std::string::npos ||
            name->find('/') != std::string::npos) {
            check.Add(Rule::FolderInEntry, field.begin,
                      Quoted(*name) +
                          " holds a folder, but a CopyFiles entry is a file name: the engine "
                          "cannot find it and waits for it forever (Wine) or asks for a disk "
                          "(Windows); name the folder in [SourceDisksNames] or [SourceDisksFiles]");
            return;
        }
    }
    const std::string windowsSource = PackageSourcePath(check.inf, source);
    // install.exe writes install.inf beside the template before the engine runs.
    const bool packageHas =
        check.package == nullptr || check.inf.Folded(windowsSource) == "install.inf";
    const std::string wineSource = PackageSourcePath(check.inf, source, SourceSections::PlainOnly);
    if (!packageHas && !check.package->Holds(windowsSource)) {
        const bool wineFinds = wineSource != windowsSource && check.package->Holds(wineSource);
        check.Add(Rule::MissingFile, field.begin,
                  Quoted(windowsSource) +
                      " is not in the package folder: the engine asks the user for a disk "
                      "(Windows) or waits forever (Wine)" +
                      (wineFinds ? "; the .x86 source sections name it, and only Wine 8, which "
                                   "reads the plain ones alone, finds " +
                                       Quoted(wineSource)
                                 : std::string()));
    } else if (!packageHas && !check.package->Holds(wineSource)) {
        check.Add(Rule::WineSource, field.begin,
                  "Windows copies " + Quoted(windowsSource) +
                      ", named by the .x86 source "
                      "sections, but Wine 8 reads the plain ones alone and looks for " +
                      Quoted(wineSource) +
                      ", which the package lacks: a try under Wine waits "
                      "forever");
    }
    std::string folder;
    if (destination != nullptr && AbsoluteDestination(check, *destination, &folder) &&
        folder.size() + 1 + target.size() >= kLongestWindowsPath &&
        folder.size() < kLongestDestination) {
        check.Add(Rule::CopyPathTooLong, field.begin,
                  "the copied file's path would be " +
                      std::to_string(folder.size() + 1 + target.size()) +
                      " characters long: Windows copies files to paths of fewer than " +
                      std::to_string(kLongestWindowsPath) + " only");
    }
}

}  // namespace

void CopyChecks::Check(const InfSection* section, const InfField& cause)
{
    CheckContext& check = check_;
    const InfLine* destination =
        DestinationFor(check, section != nullptr ? section->name : "", cause);
    // Each destination line once, however many copy sections use it.
    if (destination != nullptr &&
        std::find(checkedDestinations_.begin(), checkedDestinations_.end(), destination) ==
            checkedDestinations_.end()) {
        checkedDestinations_.push_back(destination);
        CheckDestination(check, *destination);
    }
    if (section == nullptr) {
        const std::string file = check.Value(cause).substr(1);
        CheckCopiedFile(check, cause, file, file, destination);
        return;
    }
    const Inf& inf = check.inf;
    for (const InfLine& line : section->lines) {
        if (line.valueCount == 0) {
            continue;
        }
        const std::string target = FileName(check, inf.Value(line, 0));
        const std::string renamed = line.valueCount > 1 ? FileName(check, inf.Value(line, 1)) : "";
        CheckCopiedFile(check, inf.Value(line, 0), target, renamed.empty() ? target : renamed,
                        destination);
    }
}
