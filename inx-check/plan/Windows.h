// The Windows that runs install.inf, and where that Windows puts what the
// engine writes. Portable.
#pragma once

#include <string>
#include <vector>

// A 32-bit Windows, or a 64-bit one. On the latter install.exe, elevated from
// its start by its manifest, hands install.inf to the 32-bit engine (the
// shell's verb from an elevated 32-bit program runs SysWOW64's), which runs
// under WoW64: the same section as on 32-bit Windows, but its files and
// registry writes are redirected.
// Bits64Native is 64-bit Windows as its own 64-bit engine runs a section (a
// 64-bit program, such as the list of installed programs, starting an
// unqualified rundll32.exe starts System32's): nothing is redirected, and
// the engine takes a section's .NTamd64 form first.
enum class Windows { Bits32, Bits64, Bits64Native };

inline constexpr char kSystemFolder[] = "C:\\Windows\\System32";
inline constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\";
// The list of installed programs below a Software key, folded.
inline constexpr char kUninstallList[] = "microsoft\\windows\\currentversion\\uninstall\\";

// "32" or "64"; false for anything else.
bool ParseWindows(const std::string& text, Windows* windows);

// The folder a directory number names, as the engine's folder lookup returns
// it (the text %dirid% gives in a value): "C:\Windows\System32" for 11 on
// both Windows. The user's own folders are under C:\Users\<user>; 01 is the
// package's folder, "<package>". Empty for a number the table does not hold
// (the engine then uses <system folder>\unknown).
std::string DirectoryPath(long dirid, Windows windows);
// Whether the engine knows a directory number: the table holds it, or it is
// 0 or -1 (no folder put first); only Windows' engine knows it; or neither
// does (a virtual shell folder, or no folder at all), and the engine puts
// <system folder>\unknown first.
enum class DirectoryKnown { Yes, WindowsOnly, No };
DirectoryKnown KnowsDirectory(long dirid);
// Every number the table holds, in order.
std::vector<long> DirectoryNumbers();

// Where a file the engine writes at `path` lands: on 64-bit Windows the file
// system redirector sends the 32-bit engine's System32 to SysWOW64, but for
// the few folders it exempts, and its Sysnative to the native System32. On
// 32-bit Windows Sysnative is no alias: the engine makes a folder of that
// name.
std::string FileLocation(const std::string& path, Windows windows);

// The AddReg and DelReg flags that choose a registry view.
constexpr unsigned long kRegistry64BitKey = 0x1000;  // FLG_ADDREG_64BITKEY
constexpr unsigned long kRegistry32BitKey = 0x4000;  // FLG_ADDREG_32BITKEY

// The key a registry line with `flags` writes when it names `key` (with the
// root's full name): on 64-bit Windows the registry redirector puts the
// 32-bit engine's HKLM\Software under WOW6432Node, but for the keys Windows
// shares between the views, and a few Classes subkeys under
// Classes\WOW6432Node; FLG_ADDREG_64BITKEY asks for the 64-bit view.
std::string RegistryLocation(const std::string& key, unsigned long flags, Windows windows);
// Where Wine 8's engine puts the same write when that is not where Windows
// does (empty otherwise): Wine ignores FLG_ADDREG_64BITKEY, keeps the
// Classes subkeys under HKCU in one view, and shares under HKLM\Software the
// keys its own list links (Microsoft\Clients, "Registered Applications"),
// which are not all those Windows shares (Clients, RegisteredApplications,
// Microsoft\COM3).
std::string WineRegistryLocation(const std::string& key, unsigned long flags, Windows windows);

// Whether `name`, a key right under HKLM\Software or HKCU\Software, is one
// Windows (or Wine) ships rather than a package's: Microsoft, Classes,
// Clients, Policies, RegisteredApplications, ...
bool SystemSoftwareKey(const std::string& name);
