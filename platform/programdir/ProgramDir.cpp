#include "platform/programdir/ProgramDir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace paxid {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

}  // namespace

std::string ProgramExecutablePath() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

std::string ProgramDir() {
    const std::string overrideDir = EnvOr("PAXID_PROGRAM_DIR", "");
    if (!overrideDir.empty()) {
        return WithSlash(overrideDir);
    }
    const std::string exe = ProgramExecutablePath();
    return exe.empty() ? std::string("./") : WithSlash(std::filesystem::path(exe).parent_path().string());
}

std::vector<std::string> ProgramDataDirs() {
    std::vector<std::string> folders{ProgramDir()};
    const std::filesystem::path programFolder = std::filesystem::path(ProgramDir()).parent_path();
    folders.push_back(WithSlash((programFolder.parent_path() / "share" / "paxidvw").string()));
    return folders;
}

std::string ProgramWriteDir() {
    const std::string programFolder = ProgramDir();
    if (::access(programFolder.c_str(), W_OK) == 0) {
        return programFolder;
    }
    const std::string home = EnvOr("HOME", "/");
    const std::string state = EnvOr("XDG_STATE_HOME", home + "/.local/state");
    const std::string folder = state + "/Verdanta/Paxid Viewer";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return WithSlash(folder);
}

}  // namespace paxid
