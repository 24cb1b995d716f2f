#include "document/pCollectionList.h"

#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"

#include <chrono>
#include <thread>

namespace paxid {

namespace {

constexpr int kMaxLoads = 20;
constexpr auto kRetryPause = std::chrono::milliseconds(100);
// A list of a million entries is far above any real document; a larger file is not a list.
constexpr std::size_t kMaxListBytes = 256u << 20;

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::vector<std::string> CollectionListEntries(const std::string& text) {
    std::vector<std::string> entries;
    const std::size_t end = std::min(text.find('\0'), text.size());
    std::size_t start = 0;
    while (start < end) {
        std::size_t lineEnd = text.find_first_of("\r\n", start);
        if (lineEnd == std::string::npos || lineEnd > end) {
            lineEnd = end;
        }
        std::size_t first = start;
        std::size_t last = lineEnd;
        while (first < last && IsBlankOrControl(text[first])) {
            ++first;
        }
        while (last > first && IsBlankOrControl(text[last - 1])) {
            --last;
        }
        if (last > first) {
            entries.push_back(text.substr(first, last - first));
        }
        start = lineEnd + 1;
    }
    return entries;
}

bool CollectionListLooksComplete(const std::string& text, long long fileSize) {
    if (static_cast<long long>(text.size()) != fileSize || text.find('\0') != std::string::npos) {
        return false;
    }
    return text.empty() || text.back() == '\n' || text.back() == '\r';
}

std::vector<std::string> ReadCollectionList(const std::string& fileName, const std::function<bool()>& shouldStop) {
    std::string text;
    bool loaded = false;
    for (int load = 1; load <= kMaxLoads; ++load) {
        std::string attempt;
        if (ReadWholeFile(fileName, kMaxListBytes, attempt)) {
            text = std::move(attempt);
            loaded = true;
            if (CollectionListLooksComplete(text, FileSizeOf(fileName))) {
                break;
            }
        } else {
            WriteLog("TPageRoot", "ExpandOneLevel sl.LoadFromFile(FDL.Destination) Exception : cannot read the file"
                                  " FDL.Destination = " + fileName);
        }
        if (load == kMaxLoads || (shouldStop && shouldStop())) {
            break;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
    return loaded ? CollectionListEntries(text) : std::vector<std::string>();
}

}  // namespace paxid
