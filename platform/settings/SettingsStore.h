#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace paxid {

// One value to write: section (the registry key's place), name and text.
// An empty name stands for the key's unnamed default value.
struct TSettingValue {
    std::string Section;
    std::string Name;
    std::string Value;
};

// The settings of the program as an INI file: one section per registry key,
// the unnamed default value as the entry "(Default)". Sections and names are
// compared without regard to case.
//
// Reading never fails: a missing, unreadable, binary or oversized file reads
// as if it held nothing. Writing is a locked read-modify-write that replaces
// the file atomically, keeps every line it does not change, and refuses to
// touch a file it cannot read (so values are never lost).
class TSettingsStore {
public:
    // Values longer than this read as missing, so the caller's default applies.
    static constexpr std::size_t kMaxValueLength = 255;

    explicit TSettingsStore(std::string path);

    // The per-user store: $PAXID_CONFIG_DIR, else $XDG_CONFIG_HOME/Verdanta,
    // else ~/.config/Verdanta, and the file "Paxid Viewer.ini" in it.
    static TSettingsStore User();
    // The machine-wide store read for the system-wide values.
    static TSettingsStore Machine();

    const std::string& Path() const { return FPath; }

    std::optional<std::string> ReadString(std::string_view section, std::string_view name) const;

    bool WriteString(std::string_view section, std::string_view name, std::string_view value);
    // Writes all values in one replacement of the file; false when nothing could be written.
    bool WriteValues(std::span<const TSettingValue> values);

private:
    std::string FPath;
};

}  // namespace paxid
