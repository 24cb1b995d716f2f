#include "app/pLang.h"

#include "foundation/pConversions.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/programdir/ProgramDir.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <strings.h>

namespace paxid {

namespace {

constexpr std::string_view kMessagesSection = "Project_Messages";
constexpr std::uintmax_t kMaxLanguageFileBytes = 4 * 1024 * 1024;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 4;
        if (extra == 4 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Windows-1250 to UTF-8 through the C library's converter; bytes it cannot
// convert become '?'.
std::string FromWindows1250(std::string_view text) {
    iconv_t converter = ::iconv_open("UTF-8", "CP1250");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::string(text);
    }
    std::string result;
    std::string input(text);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = ::iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            result += '?';
            ++in;
            --inLeft;
        }
    }
    ::iconv_close(converter);
    return result;
}

std::string ReplaceLineBreaks(std::string_view text) {
    constexpr std::string_view kBreak = "%0D%0A";
    std::string result;
    std::size_t i = 0;
    while (i < text.size()) {
        if (i + kBreak.size() <= text.size() && ::strncasecmp(text.data() + i, kBreak.data(), kBreak.size()) == 0) {
            result += "\r\n";
            i += kBreak.size();
        } else {
            result += text[i++];
        }
    }
    return result;
}

std::string ReadWholeFile(const std::string& path, bool& ok) {
    ok = false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > kMaxLanguageFileBytes || error) {
        return {};
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ok = !file.bad();
    return bytes;
}

}  // namespace

bool TIniText::TLess::operator()(const std::string& a, const std::string& b) const {
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
}

TIniText TIniText::Parse(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    const std::string text = IsValidUtf8(bytes) ? std::string(bytes) : FromWindows1250(bytes);
    TIniText ini;
    std::string section;
    bool inSection = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            section = std::string(Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
            inSection = true;
            ini.FSections[section];
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) {
            continue;
        }
        const std::string key(Trim(line.substr(0, equals)));
        auto& values = ini.FSections[section];
        if (!key.empty() && values.find(key) == values.end()) {
            values.emplace(key, std::string(Trim(line.substr(equals + 1))));
        }
    }
    return ini;
}

const std::string* TIniText::Find(std::string_view section, std::string_view key) const {
    const auto found = FSections.find(std::string(section));
    if (found == FSections.end()) {
        return nullptr;
    }
    const auto value = found->second.find(std::string(key));
    return value == found->second.end() ? nullptr : &value->second;
}

std::string TIniText::Read(std::string_view section, std::string_view key, std::string_view fallback) const {
    const std::string* value = Find(section, key);
    return value != nullptr ? *value : std::string(fallback);
}

void TLang::LoadFromFile(const std::string& path) {
    bool ok = false;
    std::string bytes = ReadWholeFile(path, ok);
    if (!ok) {
        WriteLog("TLang", "LoadFromFile not loaded: " + path);
        return;
    }
    FFileName = path;
    FIniFile = TIniText::Parse(bytes);
    FLoaded = true;
    WriteLog("TLang", "LoadFromFile " + path);
}

std::string TLang::Translate(std::string_view key) const {
    std::string result(kUntranslated);
    try {
        if (FLoaded) {
            result = ReplaceLineBreaks(FIniFile.Read(kMessagesSection, key, kUntranslated));
        }
    } catch (const std::exception& error) {
        // The result stays "Untranslated".
        WriteLog("TLang", std::string("Translate Exception : ") + error.what());
    }
    return result;
}

void TLang::TranslateComponent(TLangComponent& component) const {
    try {
        const std::string name = component.ComponentName();
        const std::string section = name.substr(0, name.find('_'));
        if (!FLoaded) {
            return;
        }
        const auto text = [&](const std::string& key) { return FIniFile.Read(section, key, ""); };
        if (component.HasCaption()) {
            if (const std::string caption = text(name); !caption.empty()) {
                component.SetCaption(caption);
            }
        }
        for (TLangComponent* owned : component.OwnedComponents()) {
            if (owned == nullptr || !owned->HasCaption()) {
                continue;
            }
            const std::string value = text(owned->ComponentName());
            if (value.empty()) {
                continue;
            }
            if (!owned->IsToolButton()) {
                owned->SetCaption(value);
            }
            if (owned->HasHint()) {
                owned->SetHint(value);
            }
        }
        if (component.HasCaption() && component.IsForm()) {
            if (const std::string caption = text("Caption"); !caption.empty()) {
                component.SetCaption(caption);
            }
        }
    } catch (const std::exception& error) {
        // Texts already applied stay; the rest keep their design-time texts.
        WriteLog("TLang", std::string("TranslateComponent Exception : ") + error.what());
    }
}

TLanguageFileInfo ReadLanguageFileInfo(const std::string& path) {
    TLanguageFileInfo info;
    info.Path = path;
    bool ok = false;
    const std::string bytes = ReadWholeFile(path, ok);
    if (ok) {
        const TIniText ini = TIniText::Parse(bytes);
        info.Language = ini.Read("General", "Language", "");
        info.ID = ini.Read("General", "ID", "");
    }
    return info;
}

std::vector<std::string> LanguageFiles() {
    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const std::string& dataDir : ProgramDataDirs()) {
        for (const std::string& folder : {dataDir, dataDir + "lang/"}) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
                const std::string name = entry.path().filename().string();
                if (name.size() > 4 && LowerASCII(name.substr(name.size() - 4)) == ".lng" &&
                    entry.is_regular_file(error) && seen.insert(name).second) {
                    files.push_back(entry.path().string());
                }
            }
        }
    }
    return files;
}

std::string FindLanguageFile(std::string_view fileName) {
    if (fileName.empty()) {
        return {};
    }
    for (const std::string& dataDir : ProgramDataDirs()) {
        for (const std::string& folder : {dataDir, dataDir + "lang/"}) {
            const std::string path = folder + std::string(fileName);
            if (FileExists(path)) {
                return path;
            }
        }
    }
    return {};
}

std::string ChooseLanguageFile(const std::string& registryValue, const std::vector<TLanguageFileInfo>& files,
                               std::string_view userLCID) {
    std::string localeDefault;
    for (const TLanguageFileInfo& file : files) {
        if (localeDefault.empty() && !file.ID.empty() && ::strcasecmp(file.ID.c_str(), std::string(userLCID).c_str()) == 0) {
            localeDefault = file.Path;
        }
    }
    std::string chosen = registryValue;
    if (chosen.empty()) {
        chosen = localeDefault;
    }
    if (chosen.empty()) {
        chosen = "ENG.lng";
    }
    // Only the file-name part counts: a stored folder is never trusted.
    return FindLanguageFile(ExtractFileName(chosen));
}

}  // namespace paxid
