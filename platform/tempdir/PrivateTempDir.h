#pragma once

#include <string>

namespace paxid {

// The program's private temporary folder, with a trailing '/': $PAXID_TEMP_DIR
// when set, else ${TMPDIR:-/tmp}/paxidvw-<uid>/ created with mode 0700. A
// folder at that place that is a link, is owned by another user or is open to
// others is never used: a fresh private folder is made beside it instead.
// Resolved once per value of the environment; safe from any thread.
std::string PrivateTempDir();

// Checks that path is a real folder (not a link) owned by this user and
// closed to everyone else.
bool IsPrivateFolder(const std::string& path);

}  // namespace paxid
