#pragma once

#include <string>
#include <vector>

namespace paxid {

// The folder of the running executable, with a trailing '/'.
// $PAXID_PROGRAM_DIR stands in for it (relocated installs and tests).
std::string ProgramDir();

// Folders to read the program's own data files from (language files, help,
// samples), in order: the program folder, then <prefix>/share/paxidvw/.
std::vector<std::string> ProgramDataDirs();

// Where the program writes the files it keeps beside itself ("_debug.log",
// "_pagelist.log", ...): the program folder when it is writable, else
// $XDG_STATE_HOME/Verdanta/Paxid Viewer/ (default ~/.local/state), created on
// demand. Always ends in '/'.
std::string ProgramWriteDir();

// The full path of the running executable.
std::string ProgramExecutablePath();

}  // namespace paxid
