#include "document/pIdxFormats.h"

#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <dirent.h>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace paxid {

namespace {

constexpr std::string_view kLogSender = "TIdxFormatClass";
// Widths tried, in this order, to find how the folder pads its document numbers.
constexpr std::array<int, 13> kProbeWidths = {8, 10, 0, 9, 11, 12, 7, 6, 5, 4, 3, 2, 1};
// Index files of archive systems stay far below this; a larger file is not read.
constexpr std::size_t kMaxIndexFileBytes = std::size_t{256} << 20;

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The regular files of a folder, sorted by name, so that "the first file
// found" is the same on every file system.
std::vector<std::string> FilesOf(const std::string& folder) {
    std::vector<std::string> names;
    const std::string path = folder.empty() ? std::string("./") : folder;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (entry->d_type == DT_REG || ((entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) &&
                                        FileExists(path + name))) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The name before the first '.': what "name.*" matches a file by.
std::string BaseName(const std::string& fileName) { return fileName.substr(0, fileName.find('.')); }

// The first file of each base name in a folder, from one directory read.
class TFolderIndex {
public:
    explicit TFolderIndex(const std::string& folder) {
        for (std::string& name : FilesOf(folder)) {
            FFirstByBase.emplace(BaseName(name), std::move(name));
        }
    }
    const std::string* Find(const std::string& base) const {
        const auto found = FFirstByBase.find(base);
        return found == FFirstByBase.end() ? nullptr : &found->second;
    }
    const std::map<std::string, std::string>& Entries() const { return FFirstByBase; }

private:
    std::map<std::string, std::string> FFirstByBase;
};

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// The number a zero-padded name stands for, when it stands for one.
std::optional<std::int64_t> NumberOfPaddedName(const std::string& base) {
    const std::size_t firstNonZero = base.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        return base.empty() ? std::nullopt : std::optional<std::int64_t>(0);
    }
    return ParseInteger(std::string_view(base).substr(firstNonZero));
}

// "Adding files for a name": the first file whose base name is name.
bool AddFirstFile(const TFolderIndex& index, const std::string& folder, const std::string& name,
                  std::vector<std::string>& files) {
    if (const std::string* found = index.Find(name)) {
        files.push_back(folder + *found);
        return true;
    }
    return false;
}

std::string CaseFolded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// Lines as a text list reads them: CR LF, CR or LF end a line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

}  // namespace

std::string ZeroPadded(std::int64_t number, int width) {
    std::string text = std::to_string(number);
    if (width > static_cast<int>(text.size())) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    }
    return text;
}

TIdxFormatClass::TIdxFormatClass() = default;

std::string TIdxFormatClass::Field(const std::string& record, int k) const {
    std::size_t start = 0;
    std::size_t lastSeparator = std::string::npos;
    for (int field = 1; field <= k; ++field) {
        const std::size_t separator = record.find(Separator, start);
        if (separator == std::string::npos) {
            // Fewer fields than k: the text after the last separator found, or the whole record.
            start = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
            std::string text = record.substr(start);
            if (!text.empty() && text.front() == '"') {
                text.erase(0, 1);
            }
            if (!text.empty() && text.back() == '"') {
                text.pop_back();
            }
            return text;
        }
        if (field == k) {
            std::string text = record.substr(start, separator - start);
            if (!text.empty() && text.front() == '"') {
                text.erase(0, 1);
            }
            if (!text.empty() && text.back() == '"') {
                text.pop_back();
            }
            return text;
        }
        lastSeparator = separator;
        start = separator + 1;
    }
    return {};
}

std::int32_t TIdxFormatClass::NumberField(const std::string& record, int k) const {
    const std::optional<std::int64_t> value = ParseInteger(Field(record, k));
    if (!value || *value < INT32_MIN || *value > INT32_MAX) {
        return 0;
    }
    return static_cast<std::int32_t>(*value);
}

void TIdxFormatClass::FindRange(const std::string& record, std::vector<std::string>& entries,
                                std::int32_t& firstIndex, std::int32_t& lastIndex, std::int32_t& firstNo,
                                std::int32_t& lastNo) const {
    firstIndex = lastIndex = firstNo = lastNo = -1;
    const std::int64_t low = FirstDocNo(record);
    const std::int64_t high = LastDocNo(record);
    auto numberOf = [](const std::string& entry) { return NumberOfPaddedName(BaseName(ExtractFileName(entry))); };
    auto inRange = [&](const std::string& entry) {
        const std::optional<std::int64_t> number = numberOf(entry);
        return number && *number >= low && *number <= high;
    };
    const auto first = std::find_if(entries.begin(), entries.end(), inRange);
    if (first == entries.end()) {
        return;
    }
    const auto end = std::find_if_not(first, entries.end(), inRange);
    firstIndex = static_cast<std::int32_t>(first - entries.begin());
    lastIndex = static_cast<std::int32_t>(end - entries.begin()) - 1;
    firstNo = static_cast<std::int32_t>(*numberOf(*first));
    lastNo = static_cast<std::int32_t>(*numberOf(*(end - 1)));
    entries.erase(first, end);
}

TIdxFormatSPSDMVCS::TIdxFormatSPSDMVCS() {
    Id = 1;
    Name = "SPSDMVCS";
    FirstDocField = 4;
    LastDocField = 5;
}

std::int32_t TIdxFormatSPSDMVCS::FirstDocNo(const std::string& record) const {
    return NumberField(record, FirstDocField);
}

std::int32_t TIdxFormatSPSDMVCS::LastDocNo(const std::string& record) const {
    return NumberField(record, LastDocField);
}

bool TIdxFormatSPSDMVCS::GetFiles(const std::string& record, std::vector<std::string>& files) const {
    const std::int64_t first = FirstDocNo(record);
    const std::int64_t last = LastDocNo(record);
    if (last < first) {
        return true;
    }
    // Only files that exist can be documents: walk the folder once instead of
    // the (possibly huge) range of numbers.
    const TFolderIndex index(Folder);
    auto padsTo = [](std::int64_t number, const std::string& base, int width) {
        return ZeroPadded(number, width) == base;
    };
    std::optional<std::int64_t> probeNumber;
    for (const auto& entry : index.Entries()) {
        const std::string& base = entry.first;
        const std::optional<std::int64_t> number = NumberOfPaddedName(base);
        if (!number || *number < first || *number > last || (probeNumber && *number >= *probeNumber)) {
            continue;
        }
        if (std::any_of(kProbeWidths.begin(), kProbeWidths.end(),
                        [&](int width) { return padsTo(*number, base, width); })) {
            probeNumber = number;
        }
    }
    if (!probeNumber) {
        return true;
    }
    // The first number with a document decides the width for the whole range.
    const auto width = std::find_if(kProbeWidths.begin(), kProbeWidths.end(), [&](int candidate) {
        return index.Find(ZeroPadded(*probeNumber, candidate)) != nullptr;
    });
    std::vector<std::pair<std::int64_t, const std::string*>> documents;
    for (const auto& entry : index.Entries()) {
        const std::string& base = entry.first;
        const std::optional<std::int64_t> number = NumberOfPaddedName(base);
        if (number && *number >= first && *number <= last && padsTo(*number, base, *width)) {
            documents.emplace_back(*number, &entry.second);
        }
    }
    std::sort(documents.begin(), documents.end());
    for (const auto& [number, name] : documents) {
        files.push_back(Folder + *name);
    }
    return true;
}

std::int32_t TIdxFormatSPSDMVCS::DocCount(const std::string& record) const {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(LastDocNo(record)) - FirstDocNo(record) + 1);
}

TIdxFormatSPMDMVCS::TIdxFormatSPMDMVCS() {
    Id = 3;
    Name = "SPMDMVCS";
    FirstDocField = 3;
    LastDocField = 3;
}

std::int32_t TIdxFormatSPMDMVCS::FirstDocNo(const std::string& record) const {
    return NumberField(record, FirstDocField);
}

std::int32_t TIdxFormatSPMDMVCS::LastDocNo(const std::string& record) const {
    return NumberField(record, LastDocField);
}

bool TIdxFormatSPMDMVCS::GetFiles(const std::string& record, std::vector<std::string>& files) const {
    const std::int32_t number = FirstDocNo(record);
    for (const int width : {10, 8, 0}) {
        const std::string subfolder = Folder + ZeroPadded(number, width) + "/";
        if (IsFolder(subfolder)) {
            for (const std::string& name : FilesOf(subfolder)) {
                files.push_back(subfolder + name);
            }
            break;
        }
    }
    return true;
}

std::int32_t TIdxFormatSPMDMVCS::DocCount(const std::string& record) const {
    try {
        std::vector<std::string> files;
        GetFiles(record, files);
        return static_cast<std::int32_t>(files.size());
    } catch (const std::exception& error) {
        WriteLog(kLogSender, std::string("DocCount Exception : ") + error.what());
        return -1;
    }
}

TIdxFormatMPSDMVCS::TIdxFormatMPSDMVCS() {
    Id = 5;
    Name = "MPSDMVCS";
    FirstDocField = 3;
    LastDocField = 3;
    CountField = 4;
}

std::int32_t TIdxFormatMPSDMVCS::FirstDocNo(const std::string& record) const {
    return NumberField(record, FirstDocField);
}

std::int32_t TIdxFormatMPSDMVCS::LastDocNo(const std::string& record) const {
    return NumberField(record, LastDocField);
}

bool TIdxFormatMPSDMVCS::GetFiles(const std::string& record, std::vector<std::string>& files) const {
    const std::int32_t number = FirstDocNo(record);
    const TFolderIndex index(Folder);
    for (const int width : {10, 8, 0}) {
        if (AddFirstFile(index, Folder, ZeroPadded(number, width), files)) {
            return true;
        }
    }
    // Field 3 may name the document itself; only a name inside the folder counts.
    const std::string name = Field(record, FirstDocField);
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
        return true;
    }
    if (FileExists(Folder + name)) {
        files.push_back(Folder + name);
        return true;
    }
    const std::string folded = CaseFolded(name);
    for (const std::string& candidate : FilesOf(Folder)) {
        if (CaseFolded(candidate) == folded) {
            files.push_back(Folder + candidate);
            break;
        }
    }
    return true;
}

std::int32_t TIdxFormatMPSDMVCS::DocCount(const std::string& record) const {
    const std::optional<std::int64_t> count = ParseInteger(Field(record, CountField));
    return count && *count >= INT32_MIN && *count <= INT32_MAX ? static_cast<std::int32_t>(*count) : -1;
}

std::unique_ptr<TIdxFormatClass> IdxFormatFor(const std::string& record) {
    if (record.rfind("\"I02r\";", 0) == 0) {
        return std::make_unique<TIdxFormatSPSDMVCS>();
    }
    if (record.rfind("\"I05u\";", 0) == 0) {
        return std::make_unique<TIdxFormatSPMDMVCS>();
    }
    if (record.rfind("\"I04t\";", 0) == 0) {
        return std::make_unique<TIdxFormatMPSDMVCS>();
    }
    return nullptr;
}

void ExpandIndexData(const std::string& indexFile, const std::string& record, std::vector<std::string>& files) {
    const std::unique_ptr<TIdxFormatClass> format = IdxFormatFor(record);
    if (!format) {
        return;
    }
    format->Folder = ExtractFilePath(indexFile);
    format->GetFiles(record, files);
}

std::vector<std::string> IndexDataChildNames(const std::string& indexFile, std::int32_t recordNo) {
    std::vector<std::string> files;
    if (recordNo <= 0) {
        return files;
    }
    std::string text;
    if (!ReadWholeFile(indexFile, kMaxIndexFileBytes, text)) {
        WriteLog(kLogSender, "ExpandIndexData cannot read " + indexFile);
        return files;
    }
    const std::vector<std::string> lines = SplitLines(text);
    if (static_cast<std::size_t>(recordNo) > lines.size() || lines[static_cast<std::size_t>(recordNo) - 1].empty()) {
        return files;
    }
    try {
        ExpandIndexData(indexFile, lines[static_cast<std::size_t>(recordNo) - 1], files);
    } catch (const std::exception& error) {
        // Fallback: no documents; the index file stays a page of its own.
        WriteLog(kLogSender, std::string("ExpandIndexData Exception : ") + error.what());
        files.clear();
    }
    return files;
}

}  // namespace paxid
