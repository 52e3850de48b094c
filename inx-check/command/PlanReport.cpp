#include "inx-check/command/PlanReport.h"

#include "inx-check/rules/CheckContext.h"
#include "inx-check/command/Report.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

class PlanWriter {
public:
    PlanWriter(const CheckContext& check, PlanFormat format)
        : check_(check), lines_(check.bytes), json_(format == PlanFormat::Json)
    {
    }

    std::string Write(bool accepted)
    {
        const InstallPlan& plan = check_.plan;
        const std::string folder = Utf8FromCodePage(check_.page, check_.folder);
        if (json_) {
            out_ = "{\n  \"folder\": " + JsonString(folder) +
                   ",\n  \"folder_given\": " + (check_.folderGiven ? "true" : "false") +
                   ",\n  \"windows\": " + (plan.windows == Windows::Bits64 ? "64" : "32") +
                   ",\n  \"install\": ";
            Section(accepted ? plan.install : std::nullopt);
            out_ += ",\n  \"uninstall\": ";
            Section(accepted ? plan.uninstall : std::nullopt);
            out_ += ",\n  \"left_behind\": ";
            LeftBehinds(accepted ? plan.leftBehind : Leftovers{},
                        accepted ? plan.wineLeftBehind : std::nullopt, "  ");
            if (accepted && plan.nativeUninstall.has_value()) {
                Native(*plan.nativeUninstall);
            }
            out_ += "\n}\n";
            return out_;
        }
        out_ = "The plan for the folder " + folder +
               (check_.folderGiven ? "" : " (a stand-in: no --path given)") + "\n";
        if (plan.windows == Windows::Bits64) {
            out_ +=
                "On 64-bit Windows: the 32-bit engine runs it (install.exe is elevated from its "
                "start), its files and registry writes redirected as WoW64 redirects them\n";
        }
        if (!accepted) {
            return out_ + "The engine refuses this install.inf: it installs nothing.\n";
        }
        if (!plan.install.has_value()) {
            return out_ + "There is no install section: the engine installs nothing.\n";
        }
        out_ += "\nInstalling runs ";
        Section(plan.install);
        out_ += "\n";
        if (!plan.uninstall.has_value()) {
            out_ += "There is no [DefaultUninstall] section";
            out_ += plan.uninstallString.empty() ? ": nothing uninstalls what is installed.\n"
                                                 : "; the installation registers the uninstaller " +
                                                       Quoted(Shown(plan.uninstallString)) + ".\n";
        } else {
            out_ += "Uninstalling runs ";
            Section(plan.uninstall);
            out_ += "\n";
            LeftBehinds(plan.leftBehind, plan.wineLeftBehind, "");
        }
        if (plan.nativeUninstall.has_value()) {
            Native(*plan.nativeUninstall);
        }
        return out_;
    }

private:
    std::string Shown(const std::string& text) const { return ShownText(check_.page, text); }
    std::string Json(const std::string& text) const
    {
        return JsonString(Utf8FromCodePage(check_.page, text));
    }
    std::string Line(InfOffset at) const
    {
        return std::to_string(lines_.PositionOf(check_.rendering.FileOffsetOf(at)).line);
    }

    // A list of entries: in JSON an array named `name`, in text a line each
    // with the template line it comes from. `show` gives an entry's text.
    template <typename Entry, typename Show>
    void Items(const char* name, const std::vector<Entry>& entries, Show show)
    {
        if (json_) {
            out_ += std::string(",\n    \"") + name + "\": [";
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (json_) {
                out_ += (i == 0 ? "\n      " : ",\n      ") + show(entries[i]);
            } else {
                out_ += "  " + show(entries[i]) + "  (line " + Line(entries[i].at) + ")\n";
            }
        }
        if (json_) {
            out_ += entries.empty() ? "]" : "\n    ]";
        }
    }

    // A value's data as a try reads it back: text for the string types, a
    // list for REG_MULTI_SZ, a number for a REG_DWORD of four bytes, else
    // the bytes stored (text given for another type is stored as UTF-16).
    std::string Data(const PlannedValue& value) const
    {
        if (!value.bytesKnown) {
            return json_ ? "null" : "(bytes the engine never read)";
        }
        const bool text =
            value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegLink;
        if (!value.binary && value.type == kRegDword) {
            return std::to_string(value.number);
        }
        if (!value.binary && (text || value.type == kRegMultiSz)) {
            return Strings(value.strings, value.type == kRegMultiSz);
        }
        const std::string bytes = value.binary ? value.bytes : Utf16Bytes(value.strings.front());
        if (value.type == kRegDword && bytes.size() == 4) {
            unsigned long number = 0;
            for (std::size_t i = 4; i-- > 0;) {
                number = number << 8U | static_cast<unsigned char>(bytes[i]);
            }
            return std::to_string(number);  // four bytes are the number, as stored
        }
        std::vector<std::string> strings;
        if ((text || value.type == kRegMultiSz) && StringsOf(bytes, &strings)) {
            if (value.type == kRegMultiSz) {
                while (!strings.empty() && strings.back().empty()) {
                    strings.pop_back();
                }
            } else if (strings.size() == 1 || (strings.size() == 2 && strings[1].empty())) {
                strings.resize(1);
            } else {
                return Hex(bytes);  // text with a NUL inside
            }
            return Strings(strings, value.type == kRegMultiSz);
        }
        return Hex(bytes);
    }

    std::string Strings(const std::vector<std::string>& strings, bool list) const
    {
        if (!list) {
            return json_ ? Json(strings.front()) : "\"" + Shown(strings.front()) + "\"";
        }
        std::string text;
        for (const std::string& item : strings) {
            text += (text.empty() ? "" : ", ") + (json_ ? Json(item) : "\"" + Shown(item) + "\"");
        }
        return "[" + text + "]";
    }

    std::string Hex(const std::string& bytes) const
    {
        std::string text;
        for (const char byte : bytes) {
            char hex[4];
            static_cast<void>(std::snprintf(hex, sizeof hex, json_ ? "%02x" : ",%02x",
                                            static_cast<unsigned char>(byte)));
            text += hex;
        }
        return json_ ? "\"" + text + "\"" : "hex:" + (text.empty() ? text : text.substr(1));
    }

    // Text in the code page as the registry stores it: UTF-16, with its NUL.
    std::string Utf16Bytes(const std::string& text) const
    {
        std::string bytes;
        for (const char16_t unit : Utf16FromCodePage(check_.page, text) + u'\0') {
            bytes += static_cast<char>(unit & 0xFFU);
            bytes += static_cast<char>(unit >> 8U);
        }
        return bytes;
    }

    // UTF-16 bytes split at each NUL, each in the code page; false when
    // they are no such text.
    bool StringsOf(const std::string& bytes, std::vector<std::string>* strings) const
    {
        if (bytes.size() % 2 != 0) {
            return false;
        }
        std::u16string unit;
        for (std::size_t at = 0; at <= bytes.size(); at += 2) {
            const auto code =
                at == bytes.size()
                    ? u'\0'
                    : static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                            static_cast<unsigned char>(bytes[at + 1]) << 8U);
            if (code != u'\0') {
                unit += code;
                continue;
            }
            if (at == bytes.size() && unit.empty()) {
                break;  // the text ended with its NUL
            }
            std::string text;
            if (!CodePageFromUtf16(check_.page, unit, &text)) {
                return false;
            }
            strings->push_back(text);
            unit.clear();
        }
        return true;
    }

    std::string ValueName(const std::string& key, const std::string& name) const
    {
        return Shown(key) + ": " + (name.empty() ? "(default)" : "\"" + Shown(name) + "\"");
    }

    void Section(const std::optional<SectionPlan>& section)
    {
        if (!section.has_value()) {
            out_ += json_ ? "null" : "";
            return;
        }
        const SectionPlan& plan = *section;
        out_ += json_ ? "{\n    \"section\": " + Json(plan.section)
                      : "[" + Shown(plan.section) + "]:\n";
        // In JSON an item of a part Wine 8 does not run says so.
        const auto skips = [this](const auto& item) {
            return json_ && item.wineSkips ? ", \"wine_skips\": true" : "";
        };
        Items("files", plan.files, [&](const PlannedFile& file) {
            const bool wineElsewhere = !file.wineSource.empty();
            return json_
                       ? "{\"source\": " + Json(file.source) +
                             ", \"destination\": " + Json(file.destination) +
                             (wineElsewhere ? ", \"wine_source\": " + Json(file.wineSource) : "") +
                             skips(file) + "}"
                       : "copies " + Shown(file.source) + " to " + Shown(file.destination) +
                             (wineElsewhere ? " (Wine 8 copies " + Shown(file.wineSource) +
                                                  ", reading [SourceDisksFiles] and "
                                                  "[SourceDisksNames] alone)"
                                            : "");
        });
        Items("deletes", plan.deletes, [this](const PlannedPath& file) {
            return json_ ? Json(file.path) : "deletes " + Shown(file.path);
        });
        Items("renames", plan.renames, [&](const PlannedRename& rename) {
            return json_ ? "{\"from\": " + Json(rename.from) + ", \"to\": " + Json(rename.to) +
                               skips(rename) + "}"
                         : "renames " + Shown(rename.from) + " to " + Shown(rename.to);
        });
        Items("keys", plan.keys, [this](const PlannedKey& key) {
            return json_ ? Json(key.key) : "opens or makes the key " + Shown(key.key);
        });
        Items("registry", plan.registry, [&](const PlannedValue& value) {
            static const char* const writes[] = {"set", "if-missing", "if-present", "append"};
            const auto write = static_cast<std::size_t>(value.write);
            const std::string type = RegistryTypeName(value.type);
            return json_ ? "{\"key\": " + Json(value.key) + ", \"name\": " + Json(value.name) +
                               ", \"type\": \"" + type + "\", \"data\": " + Data(value) +
                               ", \"write\": \"" + writes[write] + "\"" + skips(value) + "}"
                         : (value.write == Write::AppendStrings ? "appends to " : "writes ") +
                               ValueName(value.key, value.name) +
                               (value.write == Write::AppendStrings ? " += " : " = ") + type + " " +
                               Data(value) +
                               (value.write == Write::IfMissing   ? " unless the value exists"
                                : value.write == Write::IfPresent ? " only where the value exists"
                                                                  : "");
        });
        Items("registry_deletes", plan.registryDeletes, [&](const PlannedRegistryDelete& removal) {
            return json_
                       ? "{\"key\": " + Json(removal.key) + ", \"name\": " +
                             (removal.name.has_value() ? Json(*removal.name) : "null") +
                             (removal.string.has_value() ? ", \"string\": " + Json(*removal.string)
                                                         : "") +
                             skips(removal) + "}"
                   : !removal.name.has_value()
                       ? "deletes the key " + Shown(removal.key) + " and everything under it"
                   : removal.string.has_value()
                       ? "deletes \"" + Shown(*removal.string) + "\" from " +
                             ValueName(removal.key, *removal.name)
                       : "deletes the value " + ValueName(removal.key, *removal.name);
        });
        Items("registry_deletes_vary", plan.registryDeletesVary,
              [this](const PlannedRegistryDelete& removal) {
                  return json_ ? "{\"key\": " + Json(removal.key) +
                                     ", \"name\": " + Json(removal.name.value_or("")) + "}"
                               : "may delete the value " +
                                     ValueName(removal.key, removal.name.value_or("")) +
                                     ": the line has AddReg's flags, which some versions of "
                                     "Windows' engine ignore to delete the value, and others "
                                     "and Wine 8 skip the line for";
              });
        Items("services", plan.services, [this](const PlannedService& service) {
            return json_ ? "{\"name\": " + Json(service.name) + ", \"key\": " + Json(service.key) +
                               ", \"binary\": " + Json(service.binary) + "}"
                         : "adds the service " + Shown(service.name) + " (" + Shown(service.key) +
                               "), running " + Shown(service.binary);
        });
        Items("service_deletes", plan.serviceDeletes, [this](const PlannedPath& service) {
            return json_ ? Json(service.path) : "deletes the service " + Shown(service.path);
        });
        Items("not_modelled", plan.notModelled, [this](const NotModelled& directive) {
            std::string touches;
            for (const std::string& file : directive.touches) {
                touches += (touches.empty() ? "" : ", ") + (json_ ? Json(file) : Shown(file));
            }
            return json_ ? "{\"directive\": " + Json(directive.directive) +
                               ", \"line\": " + Line(directive.at) + ", \"touches\": [" + touches +
                               "]}"
                         : "does what the plan does not model: " + Shown(directive.directive) +
                               (touches.empty() ? "" : " (writes " + touches + ")");
        });
        Items("wine_differs", plan.wineDiffers, [this](const WineDifference& difference) {
            return json_ ? "{\"key\": " + Json(difference.key) +
                               ", \"wine_key\": " + Json(difference.wineKey) + "}"
                         : "differs under Wine 8, which writes " + Shown(difference.key) + " at " +
                               Shown(difference.wineKey);
        });
        Items("wine_skips", plan.wineSkips, [this](const WineSkip& skip) {
            return json_ ? Json(skip.what)
                         : "differs under Wine 8, which does not run " + Shown(skip.what);
        });
        if (json_) {
            // The lists of names, whose items cannot carry "wine_skips".
            const auto skipped = [this](const auto& items, auto name) {
                std::string list;
                for (const auto& item : items) {
                    if (item.wineSkips) {
                        list += (list.empty() ? "" : ", ") + Json(name(item));
                    }
                }
                return "[" + list + "]";
            };
            const auto path = [](const PlannedPath& item) { return item.path; };
            out_ += ",\n    \"wine_skipped\": {\"deletes\": " + skipped(plan.deletes, path) +
                    ", \"keys\": " +
                    skipped(plan.keys, [](const PlannedKey& item) { return item.key; }) +
                    ", \"service_deletes\": " + skipped(plan.serviceDeletes, path) + "}";
        }
        std::vector<RefusedService> refused;
        if (plan.serviceRefused.has_value()) {
            refused.push_back(*plan.serviceRefused);
        }
        Items("services_refused", refused, [this](const RefusedService& service) {
            return json_ ? "{\"name\": " + Json(service.name) + ", \"why\": " + Json(service.why) +
                               "}"
                         : "refuses the service " + Quoted(Shown(service.name)) + ": " +
                               Shown(service.why) + "; no later AddService or DelService runs";
        });
        if (json_) {
            out_ += "\n  }";
        } else if (!plan.ChangesAnything() && plan.notModelled.empty() && refused.empty()) {
            out_ += "  (nothing)\n";
        }
    }

    // The registered uninstallation as the 64-bit list of installed programs starts it.
    void Native(const NativeUninstall& native)
    {
        if (json_) {
            out_ += ",\n  \"native_uninstall\": {\n    \"command\": " + Json(native.command) +
                    ",\n    \"section\": " + Json(native.section) + ",\n    \"plan\": ";
            Section(native.plan);
            out_ += ",\n    \"left_behind\": ";
            LeftBehinds(native.leftBehind, native.wineLeftBehind, "    ");
            out_ += "\n  }";
            return;
        }
        out_ +=
            "\nThe list of installed programs, a 64-bit program, starts the registered "
            "uninstaller " +
            Quoted(Shown(native.command)) +
            " with System32's rundll32.exe, so the 64-bit engine runs it, nothing "
            "redirected: ";
        if (native.plan.has_value()) {
            Section(native.plan);
        } else {
            out_ += "it finds no section " + Quoted(Shown(native.section)) +
                    " for itself and uninstalls nothing.\n";
        }
        out_ += "\nStarted so, ";
        LeftBehinds(native.leftBehind, native.wineLeftBehind, "    ");
    }

    // What uninstalling leaves, then what it leaves under Wine 8 where that
    // differs; `indent` is the JSON member's.
    void LeftBehinds(const Leftovers& left, const std::optional<Leftovers>& wine,
                     const std::string& indent)
    {
        LeftBehind(left);
        if (wine.has_value()) {
            out_ += json_ ? ",\n" + indent + "\"wine_left_behind\": "
                          : "\nUnder Wine 8, which does not run all of both sections, ";
            LeftBehind(*wine);
        }
    }

    void LeftBehind(const Leftovers& left)
    {
        std::size_t count = left.files.size() + left.registry.size() + left.services.size();
        if (json_) {
            out_ += "{\n    \"count\": " + std::to_string(count);
        } else {
            out_ += (out_.back() == '\n' ? "Uninstalling" : "uninstalling") +
                    std::string(" leaves behind ") + std::to_string(count) + ":\n";
        }
        Items("files", left.files, [this](const PlannedPath& file) {
            return json_ ? Json(file.path) : Shown(file.path);
        });
        Items("registry", left.registry, [this](const Leftovers::Registry& entry) {
            return json_ ? "{\"key\": " + Json(entry.key) + ", \"name\": " +
                               (entry.name.has_value() ? Json(*entry.name) : "null") + "}"
                   : entry.name.has_value() ? ValueName(entry.key, *entry.name)
                                            : Shown(entry.key) + " (key)";
        });
        Items("services", left.services, [this](const PlannedPath& service) {
            return json_ ? Json(service.path) : "the service " + Shown(service.path);
        });
        if (json_) {
            Items("keys_if_new", left.keysIfNew,
                  [this](const PlannedKey& key) { return Json(key.key); });
        }
        out_ += json_ ? "\n  }" : count == 0 ? "  (nothing)\n" : "";
    }

    const CheckContext& check_;
    const LineIndex lines_;
    const bool json_;
    std::string out_;
};

}  // namespace

std::string PlanReport(const std::string& fileBytes, const std::string* folder,
                       const CodePage& page, PlanFormat format, Windows windows)
{
    CheckContext check(fileBytes, folder, nullptr, page, windows);
    const bool accepted = CheckTemplateBytes(check) && check.rendering.Rendered() &&
                          check.inf.error == InfError::None;
    return PlanWriter(check, format).Write(accepted);
}
