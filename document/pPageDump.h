#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace paxid {

class TPageRoot;

// The diagnostic dump of the page tree and the content list, one text line
// per entry. Logs "DebugList" for senderClassName first. Reads the tree
// without a lock: call it on the main thread while no loader changes it.
std::vector<std::string> DebugList(TPageRoot& root, std::string_view senderClassName);

}  // namespace paxid
