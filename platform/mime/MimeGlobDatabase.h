#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace paxid {

// The shared-mime-info glob database ("globs2" and "aliases" of every mime
// folder), merged with the program's own types, which are built in. Answers
// in the database's own names; mapping them onto the program's vocabulary is
// the caller's business. A missing database answers nothing.
class TMimeGlobDatabase {
public:
    // The database of $XDG_DATA_HOME and $XDG_DATA_DIRS, loaded once on first use.
    static const TMimeGlobDatabase& System();
    // A database of the given mime folders only (each holding globs2 and aliases).
    static TMimeGlobDatabase FromFolders(const std::vector<std::string>& mimeFolders);

    // The type whose glob matches the file-name part of fileName best
    // (highest weight, then longest pattern); empty when none matches.
    std::string TypeForFileName(std::string_view fileName) const;
    // The extension, with its dot, of the heaviest "*.ext" glob of mimeType or
    // of the type it is an alias of; empty when there is none.
    std::string ExtensionForType(std::string_view mimeType) const;
    // Every such extension, heaviest first (file order among equals).
    std::vector<std::string> ExtensionsForType(std::string_view mimeType) const;

private:
    struct TGlob {
        int Weight = 50;
        std::string Type;
        std::string Pattern;
        bool CaseSensitive = false;
    };

    void AddGlob(TGlob glob);
    void LoadFolder(const std::string& folder);

    // "*.ext" patterns by lower-cased ext: the common case, looked up by suffix.
    std::unordered_map<std::string, std::vector<TGlob>> FSuffixGlobs;
    // Every other pattern (literal names and real wildcards), matched with fnmatch.
    std::vector<TGlob> FOtherGlobs;
    // Lower-cased type -> globs in file order, for the reverse lookup.
    std::unordered_map<std::string, std::vector<TGlob>> FGlobsByType;
    // Lower-cased alias -> canonical type.
    std::unordered_map<std::string, std::string> FAliases;
};

}  // namespace paxid
