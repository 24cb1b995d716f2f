#include "app/pDiagnostics.h"

#include "document/pPageDump.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/programdir/ProgramDir.h"

#include <zip.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace paxid {

namespace {

void Log(const std::string& message) { WriteLog("TPaxidVW3", message); }

// Shared libraries of the imaging layer, by the start of their file names.
constexpr const char* kImagingLibraries[] = {"liblept", "libtiff", "libjbig", "libjpeg", "libpng", "libwebp",
                                             "libgif", "libpoppler", "libqpdf", "libtesseract", "libsane"};

std::string ModificationTime(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    std::tm local{};
    ::localtime_r(&status.st_mtime, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string VersionLine(const std::string& path, const std::string& version) {
    return ExtractFileName(path) + ";" + version + ";" + path + ";" + ModificationTime(path) + "\r\n";
}

// "5.0.4" of ".../liblept.so.5.0.4"; empty without a version.
std::string SharedLibraryVersion(const std::string& path) {
    const std::string name = ExtractFileName(path);
    const std::size_t so = name.find(".so.");
    return so == std::string::npos ? std::string() : name.substr(so + 4);
}

// The files of the process's memory map whose names start as one of the imaging libraries.
std::vector<std::string> LoadedImagingLibraries() {
    std::vector<std::string> libraries;
    std::set<std::string> seen;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos) {
            continue;
        }
        const std::string path = line.substr(slash);
        const std::string name = ExtractFileName(path);
        for (const char* prefix : kImagingLibraries) {
            if (name.starts_with(prefix) && name.find(".so") != std::string::npos && seen.insert(path).second) {
                libraries.push_back(path);
            }
        }
    }
    return libraries;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return !file.fail();
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// Writes the archive beside target and moves it into place once complete.
bool WriteZip(const std::string& target, const std::vector<std::string>& members) {
    const std::string work = target + ".part";
    std::filesystem::remove(work);
    int error = 0;
    zip_t* archive = zip_open(work.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        return false;
    }
    bool ok = true;
    for (const std::string& member : members) {
        zip_source_t* source = zip_source_file(archive, member.c_str(), 0, -1);
        if (source == nullptr || zip_file_add(archive, ExtractFileName(member).c_str(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            ok = false;
        }
    }
    if (!ok || zip_close(archive) != 0) {
        if (ok) {
            zip_discard(archive);
        } else {
            zip_discard(archive);
        }
        std::error_code ignored;
        std::filesystem::remove(work, ignored);
        return false;
    }
    std::error_code renameError;
    std::filesystem::rename(work, target, renameError);
    return !renameError;
}

}  // namespace

std::string BuildFileVersionList() {
    std::string text;
    const std::string exe = ProgramExecutablePath();
    text += VersionLine(exe, ReadFileVersionInfo(exe).FileVersion);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ProgramDir(), error)) {
        std::error_code typeError;
        if (entry.path().extension() == ".so" && !entry.is_directory(typeError)) {
            text += VersionLine(entry.path().string(), ReadFileVersionInfo(entry.path().string()).FileVersion);
        }
    }
    for (const std::string& library : LoadedImagingLibraries()) {
        text += VersionLine(library, SharedLibraryVersion(library));
    }
    return text;
}

std::string CreateDebugPackage(TPageRoot* root) {
    Log("CreateDebugPackage BEGIN");
    const std::string folder = ProgramWriteDir();
    const std::string package = folder + kDebugPackage;
    bool written = false;
    try {
        std::vector<std::string> members;
        const auto add = [&members](const std::string& path, const std::string& text) {
            if (WriteText(path, text) && FileExists(path)) {
                members.push_back(path);
            }
        };
        add(folder + kFileVersionLog, BuildFileVersionList());
        if (FileExists(folder + std::string(kDebugLogFile))) {
            members.push_back(folder + std::string(kDebugLogFile));
        }
        add(folder + kCurrentLogFile, JoinLines(LogLines()));
        if (root != nullptr) {
            add(folder + kPageListLog, JoinLines(DebugList(*root, "TPaxidVW3")));
        }
        written = !members.empty() && WriteZip(package, members);
    } catch (const std::exception& error) {
        // The steps end here; the previous package, if any, stays.
        Log(std::string("CreateDebugPackage Exception : ") + error.what());
    }
    for (const char* name : {kCurrentLogFile, kFileVersionLog, kMemoLog}) {
        std::error_code ignored;
        std::filesystem::remove(folder + name, ignored);
    }
    Log("CreateDebugPackage END");
    return written ? package : std::string();
}

}  // namespace paxid
