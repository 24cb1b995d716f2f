#include "platform/tempdir/PrivateTempDir.h"

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paxid {

namespace {

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : std::string(fallback);
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

std::string MakeFreshPrivateFolder(const std::string& base, const std::string& stem) {
    std::string pattern = base + "/" + stem + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        return {};
    }
    return buffer.data();
}

bool IsOwnRealFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

// Last resort when the temporary base refuses new folders: a folder in the
// user's own cache, which no other user can reach.
std::string CacheFolder() {
    const std::string cache = EnvOr("XDG_CACHE_HOME", (EnvOr("HOME", "/") + "/.cache").c_str());
    const std::string folder = cache + "/paxidvw-tmp";
    ::mkdir(cache.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return IsOwnRealFolder(folder) && ::chmod(folder.c_str(), 0700) == 0 ? folder : std::string();
}

std::string ResolvePrivateTempDir(const std::string& overrideDir, const std::string& base) {
    if (!overrideDir.empty()) {
        ::mkdir(overrideDir.c_str(), 0700);
        return WithSlash(overrideDir);
    }
    const std::string stem = "paxidvw-" + std::to_string(::getuid());
    const std::string folder = base + "/" + stem;
    ::mkdir(folder.c_str(), 0700);
    // Our own real folder is used, closed to others if it was not; a link or
    // a folder of another user at that name is left alone.
    if (IsOwnRealFolder(folder) && ::chmod(folder.c_str(), 0700) == 0) {
        return WithSlash(folder);
    }
    std::string fresh = MakeFreshPrivateFolder(base, stem);
    if (fresh.empty()) {
        fresh = CacheFolder();
    }
    return fresh.empty() ? std::string() : WithSlash(fresh);
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 0077) == 0;
}

std::string PrivateTempDir() {
    static std::mutex lock;
    static std::string lastKey;
    static std::string lastFolder;
    const std::string overrideDir = EnvOr("PAXID_TEMP_DIR", "");
    const std::string base = EnvOr("TMPDIR", "/tmp");
    const std::string key = overrideDir + '\n' + base;
    std::lock_guard guard(lock);
    if (lastFolder.empty() || key != lastKey) {
        lastFolder = ResolvePrivateTempDir(overrideDir, base);
        lastKey = key;
    }
    return lastFolder;
}

}  // namespace paxid
