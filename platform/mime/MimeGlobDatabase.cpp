#include "platform/mime/MimeGlobDatabase.h"

#include "platform/posix/FileDescriptor.h"

#include <algorithm>
#include <cstdlib>
#include <fnmatch.h>
#include <sstream>

namespace paxid {

namespace {

constexpr std::size_t kMaxDatabaseFileSize = 16 << 20;

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

bool IsSimpleSuffixPattern(std::string_view pattern) {
    return pattern.size() > 2 && pattern.substr(0, 2) == "*." &&
           pattern.substr(2).find_first_of("*?[") == std::string_view::npos;
}

std::string_view BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream stream(line);
    while (std::getline(stream, field, ':')) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

const TMimeGlobDatabase& TMimeGlobDatabase::System() {
    static const TMimeGlobDatabase database = [] {
        std::vector<std::string> folders;
        folders.push_back(EnvOr("XDG_DATA_HOME", EnvOr("HOME", "/") + "/.local/share") + "/mime");
        std::istringstream dirs(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
        std::string dir;
        while (std::getline(dirs, dir, ':')) {
            if (!dir.empty()) {
                folders.push_back(dir + "/mime");
            }
        }
        return FromFolders(folders);
    }();
    return database;
}

TMimeGlobDatabase TMimeGlobDatabase::FromFolders(const std::vector<std::string>& mimeFolders) {
    TMimeGlobDatabase database;
    // The program's own types win over anything a database says of their extensions.
    for (const auto& [pattern, type] : {std::pair{"*.paxid", "application/paxid"},
                                        std::pair{"*.paxidcab", "application/paxidcab"},
                                        std::pair{"*.datacrypt", "application/datacrypt"},
                                        std::pair{"*.jbg", "image/jbig"},
                                        std::pair{"*.jbig", "image/jbig"}}) {
        database.AddGlob(TGlob{100, type, pattern, false});
    }
    for (const std::string& folder : mimeFolders) {
        database.LoadFolder(folder);
    }
    return database;
}

void TMimeGlobDatabase::AddGlob(TGlob glob) {
    FGlobsByType[Lower(glob.Type)].push_back(glob);
    if (IsSimpleSuffixPattern(glob.Pattern) && !glob.CaseSensitive) {
        std::string suffix = Lower(glob.Pattern.substr(2));
        FSuffixGlobs[suffix].push_back(std::move(glob));
    } else {
        FOtherGlobs.push_back(std::move(glob));
    }
}

void TMimeGlobDatabase::LoadFolder(const std::string& folder) {
    std::string contents;
    if (ReadWholeFile(folder + "/globs2", kMaxDatabaseFileSize, contents)) {
        std::istringstream lines(contents);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.empty() || line[0] == '#') {
                continue;
            }
            const std::vector<std::string> fields = SplitFields(line);
            if (fields.size() < 3 || fields[1].empty() || fields[2].empty()) {
                continue;
            }
            TGlob glob;
            glob.Weight = std::atoi(fields[0].c_str());
            glob.Type = fields[1];
            glob.Pattern = fields[2];
            glob.CaseSensitive = fields.size() > 3 && fields[3].find("cs") != std::string::npos;
            if (glob.Pattern != "__NOGLOBS__") {
                AddGlob(std::move(glob));
            }
        }
    }
    if (ReadWholeFile(folder + "/aliases", kMaxDatabaseFileSize, contents)) {
        std::istringstream lines(contents);
        std::string alias;
        std::string canonical;
        while (lines >> alias >> canonical) {
            FAliases.emplace(Lower(alias), canonical);
        }
    }
}

std::string TMimeGlobDatabase::TypeForFileName(std::string_view fileName) const {
    const std::string_view name = BaseName(fileName);
    if (name.empty()) {
        return {};
    }
    const std::string lowerName = Lower(name);
    const TGlob* best = nullptr;
    const auto consider = [&best](const TGlob& glob) {
        if (best == nullptr || glob.Weight > best->Weight ||
            (glob.Weight == best->Weight && glob.Pattern.size() > best->Pattern.size())) {
            best = &glob;
        }
    };
    // Literal names and case-sensitive globs are tried first and win ties.
    const std::string exactName(name);
    for (const TGlob& glob : FOtherGlobs) {
        const std::string& subject = glob.CaseSensitive ? exactName : lowerName;
        const std::string pattern = glob.CaseSensitive ? glob.Pattern : Lower(glob.Pattern);
        if (::fnmatch(pattern.c_str(), subject.c_str(), 0) == 0) {
            consider(glob);
        }
    }
    for (std::size_t dot = lowerName.find('.'); dot != std::string::npos; dot = lowerName.find('.', dot + 1)) {
        const auto found = FSuffixGlobs.find(lowerName.substr(dot + 1));
        if (found != FSuffixGlobs.end()) {
            std::for_each(found->second.begin(), found->second.end(), consider);
        }
    }
    return best == nullptr ? std::string() : best->Type;
}

std::string TMimeGlobDatabase::ExtensionForType(std::string_view mimeType) const {
    const std::vector<std::string> extensions = ExtensionsForType(mimeType);
    return extensions.empty() ? std::string() : extensions.front();
}

std::vector<std::string> TMimeGlobDatabase::ExtensionsForType(std::string_view mimeType) const {
    const std::string key = Lower(mimeType);
    auto found = FGlobsByType.find(key);
    if (found == FGlobsByType.end()) {
        const auto alias = FAliases.find(key);
        found = alias == FAliases.end() ? FGlobsByType.end() : FGlobsByType.find(Lower(alias->second));
    }
    if (found == FGlobsByType.end()) {
        return {};
    }
    std::vector<const TGlob*> globs;
    for (const TGlob& glob : found->second) {
        if (IsSimpleSuffixPattern(glob.Pattern)) {
            globs.push_back(&glob);
        }
    }
    std::stable_sort(globs.begin(), globs.end(),
                     [](const TGlob* a, const TGlob* b) { return a->Weight > b->Weight; });
    std::vector<std::string> extensions;
    for (const TGlob* glob : globs) {
        extensions.push_back(glob->Pattern.substr(1));
    }
    return extensions;
}

}  // namespace paxid
