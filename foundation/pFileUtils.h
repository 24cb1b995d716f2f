#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace paxid {

// The program's private temporary folder, ending in '/'.
std::string GetTempDir();
// The system's library folder, ending in '/' (where the platform's shared
// libraries live).
std::string GetSystemDir();
// GetTempDir + "pxdtmp" + a random number below 1000000 + ext (".tmp" when
// ext is empty), whose base name no file of any extension has yet. The name
// is not reserved: whoever creates the file opens it exclusively.
std::string MakeTempFileName(std::string_view ext);
// The same with the numbers drawn by drawNumber (each below 1000000).
std::string MakeTempFileName(std::string_view ext, const std::function<std::uint32_t()>& drawNumber);
// The size of a file, 0 when there is none (folders count 0 as well).
std::int64_t FileSizeOf(const std::string& fileName);
// True when the existing file can be opened for reading now.
bool CanOpenForRead(const std::string& fileName);
// The canonical absolute path of an existing name; empty when it cannot be resolved.
std::string ResolveShellPath(const std::string& name);
// True when path names an existing regular file (not a folder).
bool FileExists(const std::string& path);
// The file-name part of path (after the last '/').
std::string ExtractFileName(std::string_view path);
// The folder part of path with its trailing '/'; empty when there is none.
std::string ExtractFilePath(std::string_view path);

// The ten strings of a module's version record.
struct TFileVersionInfo {
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyRight;
    std::string LegalTradeMark;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
};

// The program's own executable carries the version record compiled into it;
// every other file has none and reads as ten empty strings.
TFileVersionInfo ReadFileVersionInfo(const std::string& fileName);

struct TProgramVersionInfo {
    std::string ObjName;         // left empty: the automation object fills it in
    std::string ModuleFilename;  // full path of the program
    std::string VerStr;          // its FileVersion
    std::int32_t BuildNum = 0;   // the number after the last "." of VerStr, 0 when none
};

TProgramVersionInfo GetProgramVersionInfo();

}  // namespace paxid
