#pragma once

#include <functional>
#include <string>
#include <vector>

namespace paxid {

// The entries of a collection list file: every line trimmed of blanks and
// control characters, empty lines skipped, in file order. A list that looks
// incomplete (its last line has no line break yet, or it cannot be read) is
// read again every 100 ms, at most 20 times, in case its writer is still at
// work; then the lines last read are taken. shouldStop ends the waiting early.
std::vector<std::string> ReadCollectionList(const std::string& fileName,
                                            const std::function<bool()>& shouldStop = {});

// Splits the text of a list into trimmed non-empty entries; a zero byte ends it.
std::vector<std::string> CollectionListEntries(const std::string& text);

// True when text (as read from a file of fileSize bytes) is the whole file
// and ends with a line break.
bool CollectionListLooksComplete(const std::string& text, long long fileSize);

}  // namespace paxid
