#include "platform/settings/SettingsStore.h"

#include "platform/posix/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paxid {

namespace {

constexpr std::size_t kMaxFileSize = 1 << 20;
constexpr std::string_view kDefaultValueName = "(Default)";

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view Trim(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view EntryName(std::string_view name) { return name.empty() ? kDefaultValueName : name; }

// The lines of an INI file, kept as written so that a rewrite changes only
// the entries it sets.
class TIniDocument {
public:
    explicit TIniDocument(std::string_view text) {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view line = text.substr(start, end - start);
            // Every trailing CR goes, so a value reads the same after a rewrite.
            while (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            FLines.emplace_back(line);
            start = end + 1;
        }
    }

    std::optional<std::string> Find(std::string_view section, std::string_view name) const {
        bool inSection = false;
        for (const std::string& line : FLines) {
            std::string_view header;
            if (SectionHeader(line, header)) {
                inSection = EqualNoCase(header, section);
                continue;
            }
            std::string_view key;
            std::string_view value;
            if (inSection && Entry(line, key, value) && EqualNoCase(key, name)) {
                return std::string(value);
            }
        }
        return std::nullopt;
    }

    void Set(std::string_view section, std::string_view name, std::string_view value) {
        const std::string newLine = std::string(name) + "=" + std::string(value);
        bool inSection = false;
        std::optional<std::size_t> insertAt;
        for (std::size_t i = 0; i < FLines.size(); ++i) {
            std::string_view header;
            if (SectionHeader(FLines[i], header)) {
                if (inSection) {
                    break;
                }
                inSection = EqualNoCase(header, section);
                if (inSection) {
                    insertAt = i + 1;
                }
                continue;
            }
            if (!inSection) {
                continue;
            }
            std::string_view key;
            std::string_view oldValue;
            if (Entry(FLines[i], key, oldValue)) {
                if (EqualNoCase(key, name)) {
                    FLines[i] = newLine;
                    return;
                }
                insertAt = i + 1;
            }
        }
        if (insertAt) {
            FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(*insertAt), newLine);
            return;
        }
        if (!FLines.empty() && !Trim(FLines.back()).empty()) {
            FLines.emplace_back();
        }
        FLines.push_back("[" + std::string(section) + "]");
        FLines.push_back(newLine);
    }

    std::string Text() const {
        std::string text;
        for (const std::string& line : FLines) {
            text += line;
            text += '\n';
        }
        return text;
    }

private:
    static bool SectionHeader(std::string_view line, std::string_view& name) {
        line = Trim(line);
        if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
            return false;
        }
        name = Trim(line.substr(1, line.size() - 2));
        return true;
    }

    static bool Entry(std::string_view line, std::string_view& key, std::string_view& value) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
            return false;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return false;
        }
        key = Trim(line.substr(0, equals));
        value = line.substr(equals + 1);
        return true;
    }

    std::vector<std::string> FLines;
};

// A settings file is text; one with zero bytes in it was damaged and is not
// trusted for any value.
bool LooksCorrupt(const std::string& contents) { return contents.find('\0') != std::string::npos; }

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return (home != nullptr && *home != '\0') ? home : "/";
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

// Holds the store's lock file for one read-modify-write, so two writers
// never interleave their rewrites.
class TWriteLock {
public:
    explicit TWriteLock(const std::string& path)
        : FFile(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        while (FFile.IsOpen() && ::flock(FFile.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                FFile.Reset();
            }
        }
    }
    bool Held() const { return FFile.IsOpen(); }

private:
    TFileDescriptor FFile;
};

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    std::string tempName = path + ".XXXXXX";
    TFileDescriptor temp(::mkostemp(tempName.data(), O_CLOEXEC));
    if (!temp.IsOpen()) {
        return false;
    }
    const bool written = ::fchmod(temp.Get(), 0600) == 0 &&
                         WriteAll(temp.Get(), contents.data(), contents.size()) && ::fsync(temp.Get()) == 0;
    temp.Reset();
    if (!written || ::rename(tempName.c_str(), path.c_str()) != 0) {
        ::unlink(tempName.c_str());
        return false;
    }
    return true;
}

bool ValueIsWritable(const TSettingValue& value) {
    const auto hasLineBreak = [](const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; };
    return !value.Section.empty() && !hasLineBreak(value.Section) && !hasLineBreak(value.Name) &&
           !hasLineBreak(value.Value) && value.Name.find('=') == std::string::npos &&
           value.Section.find(']') == std::string::npos;
}

}  // namespace

TSettingsStore::TSettingsStore(std::string path) : FPath(std::move(path)) {}

TSettingsStore TSettingsStore::User() {
    std::string folder = EnvOr("PAXID_CONFIG_DIR", "");
    if (folder.empty()) {
        folder = EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config") + "/Verdanta";
    }
    return TSettingsStore(folder + "/Paxid Viewer.ini");
}

TSettingsStore TSettingsStore::Machine() { return TSettingsStore("/etc/xdg/Verdanta/Paxid Viewer.ini"); }

std::optional<std::string> TSettingsStore::ReadString(std::string_view section, std::string_view name) const {
    std::string contents;
    if (!ReadWholeFile(FPath, kMaxFileSize, contents) || LooksCorrupt(contents)) {
        return std::nullopt;
    }
    std::optional<std::string> value = TIniDocument(contents).Find(section, EntryName(name));
    if (value && value->size() > kMaxValueLength) {
        return std::nullopt;
    }
    return value;
}

bool TSettingsStore::WriteString(std::string_view section, std::string_view name, std::string_view value) {
    const TSettingValue one{std::string(section), std::string(name), std::string(value)};
    return WriteValues(std::span(&one, 1));
}

bool TSettingsStore::WriteValues(std::span<const TSettingValue> values) {
    if (!std::all_of(values.begin(), values.end(), ValueIsWritable)) {
        return false;
    }
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(FPath).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    // A settings file that is a link (kept with the user's other dotfiles) is
    // rewritten where it points, so the link stays.
    std::string target = FPath;
    if (char* resolved = ::realpath(FPath.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    const TWriteLock lock(target);
    if (!lock.Held()) {
        return false;
    }
    std::string contents;
    struct stat info {};
    const bool exists = ::lstat(target.c_str(), &info) == 0;
    if (exists && !ReadWholeFile(target, kMaxFileSize, contents)) {
        // Unreadable, not a regular file or oversized: rewriting would lose what it holds.
        return false;
    }
    if (LooksCorrupt(contents)) {
        // Keep the damaged file for the user and start a clean one.
        if (::rename(target.c_str(), (target + ".corrupt").c_str()) != 0) {
            return false;
        }
        contents.clear();
    }
    TIniDocument document(contents);
    for (const TSettingValue& value : values) {
        document.Set(value.Section, EntryName(value.Name), value.Value);
    }
    return ReplaceFileAtomically(target, document.Text());
}

}  // namespace paxid
