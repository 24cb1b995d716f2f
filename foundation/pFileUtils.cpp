#include "foundation/pFileUtils.h"

#include "foundation/pVersion.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/programdir/ProgramDir.h"
#include "platform/random/RandomSource.h"
#include "platform/tempdir/PrivateTempDir.h"

#include <charconv>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace paxid {

namespace {

constexpr std::uint32_t kTempNumberBound = 1000000;

// True when a file named stem, or stem + "." + any extension, exists in folder.
bool BaseNameTaken(const std::string& folder, const std::string& stem) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return false;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() >= stem.size() && name.compare(0, stem.size(), stem) == 0 &&
            (name.size() == stem.size() || name[stem.size()] == '.')) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string GetTempDir() { return PrivateTempDir(); }

std::string GetSystemDir() {
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/", "/usr/lib/aarch64-linux-gnu/", "/usr/lib64/"}) {
        struct stat info {};
        if (::stat(folder, &info) == 0 && S_ISDIR(info.st_mode)) {
            return folder;
        }
    }
    return "/usr/lib/";
}

std::string MakeTempFileName(std::string_view ext) {
    return MakeTempFileName(ext, [] { return TRandomSource::Below(kTempNumberBound); });
}

std::string MakeTempFileName(std::string_view ext, const std::function<std::uint32_t()>& drawNumber) {
    const std::string folder = GetTempDir();
    std::string stem;
    do {
        stem = "pxdtmp" + std::to_string(drawNumber());
    } while (BaseNameTaken(folder, stem));
    return folder + stem + (ext.empty() ? std::string(".tmp") : std::string(ext));
}

std::int64_t FileSizeOf(const std::string& fileName) {
    struct stat info {};
    if (fileName.empty() || ::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return 0;
    }
    return static_cast<std::int64_t>(info.st_size);
}

bool CanOpenForRead(const std::string& fileName) {
    const TFileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    return file.IsOpen() && ::fstat(file.Get(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string ResolveShellPath(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(name.c_str(), nullptr), std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ExtractFileName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFilePath(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

TFileVersionInfo ReadFileVersionInfo(const std::string& fileName) {
    const std::string program = ResolveShellPath(ProgramExecutablePath());
    if (program.empty() || ResolveShellPath(fileName) != program) {
        return {};
    }
    return TFileVersionInfo{version::kCompanyName,      version::kFileDescription, version::kFileVersion,
                            version::kInternalName,     version::kLegalCopyright,  version::kLegalTrademarks,
                            version::kOriginalFileName, version::kProductName,     version::kProductVersion,
                            version::kComments};
}

TProgramVersionInfo GetProgramVersionInfo() {
    TProgramVersionInfo info;
    info.ModuleFilename = ProgramExecutablePath();
    info.VerStr = ReadFileVersionInfo(info.ModuleFilename).FileVersion;
    const std::size_t dot = info.VerStr.find_last_of('.');
    const std::string_view tail =
        dot == std::string::npos ? std::string_view(info.VerStr) : std::string_view(info.VerStr).substr(dot + 1);
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(tail.data(), tail.data() + tail.size(), number);
    info.BuildNum = (error == std::errc() && end == tail.data() + tail.size() && !tail.empty()) ? number : 0;
    return info;
}

}  // namespace paxid
