#pragma once

#include <string>

namespace paxid {

class TPageRoot;

// The file names of the diagnostics package, all in the program's write
// folder (the program folder, or the per-user state folder when the program
// folder is read-only).
inline constexpr const char* kFileVersionLog = "_filever.log";
inline constexpr const char* kCurrentLogFile = "_debugcurr.log";
inline constexpr const char* kPageListLog = "_pagelist.log";
inline constexpr const char* kMemoLog = "_paxidmemo.log";
inline constexpr const char* kDebugPackage = "_debug.zip";

// One line per file, each ended by CR LF, fields joined by ";": file name,
// version, full path, modification time "yyyy-mm-dd hh:nn:ss". The program's
// executable first (its compiled-in version record), then every "*.so" of the
// program folder, then the imaging libraries the process has loaded (their
// version is the one in the library's file name).
std::string BuildFileVersionList();

// Writes "_debug.zip" holding the version list, the log file when there is
// one, the in-memory log lines and the dump of root's page tree (when root is
// given); removes the temporary members. The previous package stays when a
// new one cannot be written. Returns the package's path, empty when none was
// written. Main thread, while no loader changes the tree.
std::string CreateDebugPackage(TPageRoot* root);

}  // namespace paxid
