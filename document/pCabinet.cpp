#include "document/pCabinet.h"

#include "document/pPageRoot.h"
#include "foundation/pContentTypes.h"
#include "foundation/pConversions.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace paxid {

namespace {

constexpr std::string_view kLogSender = "TPageRoot";
// Buffer of one read from an archive entry.
constexpr std::size_t kExtractBufferSize = std::size_t{1} << 20;

struct TZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
// An open archive that has not been closed yet; discarding drops pending changes.
using TZipArchive = std::unique_ptr<zip_t, TZipDiscard>;

struct TZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using TZipFile = std::unique_ptr<zip_file_t, TZipFileClose>;

// Files made for one cabinet write, deleted when the write ends however it ends.
class TTempFiles {
public:
    TTempFiles() = default;
    TTempFiles(const TTempFiles&) = delete;
    TTempFiles& operator=(const TTempFiles&) = delete;
    ~TTempFiles() {
        for (const std::string& file : FFiles) {
            ::unlink(file.c_str());
        }
    }
    void Add(const std::string& file) { FFiles.push_back(file); }

private:
    std::vector<std::string> FFiles;
};

// The compression tag of a TIFF file's first page: 1 is uncompressed, 0 when it
// cannot be read.
unsigned TiffCompression(const std::string& path) {
    const TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::array<unsigned char, 8> header{};
    if (!file.IsOpen() || ::pread(file.Get(), header.data(), header.size(), 0) != 8) {
        return 0;
    }
    const bool little = header[0] == 'I' && header[1] == 'I';
    if (!little && !(header[0] == 'M' && header[1] == 'M')) {
        return 0;
    }
    auto read16 = [little](const unsigned char* p) {
        return little ? unsigned(p[0] | p[1] << 8) : unsigned(p[0] << 8 | p[1]);
    };
    auto read32 = [little](const unsigned char* p) {
        return little ? std::uint32_t(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24)
                      : std::uint32_t(std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
    };
    if (read16(&header[2]) != 42) {
        return 0;
    }
    const off_t directory = read32(&header[4]);
    std::array<unsigned char, 2> countBytes{};
    if (::pread(file.Get(), countBytes.data(), 2, directory) != 2) {
        return 0;
    }
    const unsigned count = std::min(read16(countBytes.data()), 512u);
    std::vector<unsigned char> entries(count * 12u);
    if (::pread(file.Get(), entries.data(), entries.size(), directory + 2) != static_cast<ssize_t>(entries.size())) {
        return 0;
    }
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char* entry = &entries[i * 12u];
        if (read16(entry) == 259) {
            return read16(entry + 8);
        }
    }
    return 1;
}

// Deflating these again costs time and saves next to nothing.
bool IsAlreadyCompressed(const std::string& path) {
    static const std::set<std::string> kCompressedExtensions = {
        ".jpg", ".jpeg", ".jpe", ".png", ".gif", ".pdf", ".jbg", ".jbig", ".webp", ".zip",
        ".paxidcab", ".gz", ".docx", ".xlsx", ".pptx", ".odt", ".ods", ".odp", ".mp3", ".mp4"};
    const std::string ext = LowerASCII(ExtractFileExt(path));
    if (ext == ".tif" || ext == ".tiff") {
        return TiffCompression(path) > 1;
    }
    return kCompressedExtensions.count(ext) > 0;
}

// A "pxdtmp" name in the temporary folder that neither an existing file nor
// an earlier entry of this cabinet uses.
std::string FreshCopyName(std::string_view ext, std::set<std::string>& entryNames) {
    for (;;) {
        std::string name = MakeTempFileName(ext);
        if (entryNames.insert(ExtractFileName(name)).second) {
            return name;
        }
    }
}

// The key under which pages of one source file share one stored copy.
std::string SourceKey(const std::string& source) {
    const std::string resolved = ResolveShellPath(source);
    return resolved.empty() ? source : resolved;
}

// One file to store: its contents come from Source, its entry name is Name.
struct TCabinetEntry {
    std::string Source;
    std::string Name;
};

struct TProgressState {
    const TCabinetProgress* Progress = nullptr;
    const std::vector<std::string>* Names = nullptr;
    int Reported = 0;
};

// libzip reports the fraction of entries written; announce each file once as
// its turn comes. Exceptions must not cross back into libzip.
void OnZipProgress(zip_t*, double fraction, void* context) {
    auto* state = static_cast<TProgressState*>(context);
    try {
        const int count = static_cast<int>(state->Names->size());
        const int reached = std::min(count, static_cast<int>(fraction * count + 1e-9) + 1);
        while (state->Reported < reached) {
            ++state->Reported;
            (*state->Progress)((*state->Names)[static_cast<std::size_t>(state->Reported - 1)], state->Reported, count);
        }
    } catch (const std::exception& error) {
        WriteLog(kLogSender, std::string("ZipList progress Exception : ") + error.what());
    } catch (...) {
        WriteLog(kLogSender, "ZipList progress Exception : unknown");
    }
}

std::string ZipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

void WriteArchive(const std::string& arcName, const std::vector<TCabinetEntry>& entries, const std::string& listText,
                  const TCabinetProgress& progress) {
    int openError = 0;
    TZipArchive archive(zip_open(arcName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &openError));
    if (!archive) {
        throw std::runtime_error("ZipList: cannot create " + arcName + ": " + ZipErrorText(openError));
    }
    auto addEntry = [&archive](zip_source_t* source, const std::string& name, bool store) {
        if (source == nullptr) {
            throw std::runtime_error(std::string("ZipList: ") + zip_strerror(archive.get()));
        }
        const zip_int64_t index = zip_file_add(archive.get(), name.c_str(), source, ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
            throw std::runtime_error("ZipList: cannot add " + name + ": " + zip_strerror(archive.get()));
        }
        if (store) {
            zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
    };
    std::vector<std::string> names;
    for (const TCabinetEntry& entry : entries) {
        addEntry(zip_source_file(archive.get(), entry.Source.c_str(), 0, -1), entry.Name,
                 IsAlreadyCompressed(entry.Source));
        names.push_back(entry.Name);
    }
    addEntry(zip_source_buffer(archive.get(), listText.data(), listText.size(), 0), std::string(kCabinetListName),
             false);
    names.emplace_back(kCabinetListName);

    TProgressState state{&progress, &names, 0};
    if (progress) {
        zip_register_progress_callback_with_state(archive.get(), 0.0001, OnZipProgress, nullptr, &state);
    }
    WriteLog(kLogSender, "ZipList before Zip.Execute");
    if (zip_close(archive.get()) != 0) {
        const std::string message = zip_strerror(archive.get());
        WriteLog(kLogSender, "ZipList after Zip.Execute");
        throw std::runtime_error("ZipList: cannot write " + arcName + ": " + message);
    }
    archive.release();  // closed: nothing left to discard
    WriteLog(kLogSender, "ZipList after Zip.Execute");
}

// The name an entry is written under, or nothing when it must be skipped.
std::optional<std::string> BareEntryName(std::string_view name) {
    const std::size_t delimiter = name.find_last_of("/\\");
    std::string_view bare = delimiter == std::string_view::npos ? name : name.substr(delimiter + 1);
    if (bare.size() >= 2 && bare[1] == ':' && ((bare[0] >= 'A' && bare[0] <= 'Z') || (bare[0] >= 'a' && bare[0] <= 'z'))) {
        bare.remove_prefix(2);
    }
    if (bare.empty() || bare == "." || bare == "..") {
        return std::nullopt;
    }
    if (std::any_of(bare.begin(), bare.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return std::nullopt;
    }
    return std::string(bare);
}

// Links and folders are never extracted.
bool IsSpecialEntry(zip_t* archive, zip_uint64_t index, std::string_view name) {
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) {
        return true;
    }
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
        return false;
    }
    if (system == ZIP_OPSYS_UNIX) {
        const mode_t mode = static_cast<mode_t>(attributes >> 16);
        const mode_t type = mode & S_IFMT;
        return type != 0 && type != S_IFREG;
    }
    return (attributes & 0x10u) != 0;  // MS-DOS folder attribute
}

enum class TExtractResult { Written, Failed, OverBound };

// Writes one entry beside its final name, then renames it into place, so a
// link or folder planted under that name is replaced, never followed.
TExtractResult ExtractEntry(zip_t* archive, zip_uint64_t index, int folderFd, const std::string& bareName,
                            std::int64_t& written, std::int64_t bound) {
    static std::atomic<unsigned> sequence{0};
    std::string partName;
    TFileDescriptor out;
    for (int attempt = 0; attempt < 100 && !out.IsOpen(); ++attempt) {
        partName = ".pxdextract" + std::to_string(::getpid()) + "_" + std::to_string(sequence++);
        out.Reset(::openat(folderFd, partName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.IsOpen() && errno != EEXIST) {
            break;
        }
    }
    if (!out.IsOpen()) {
        WriteLog(kLogSender, "UnzipCabinet cannot create " + bareName + ": " + std::strerror(errno));
        return TExtractResult::Failed;
    }
    auto dropPart = [&] {
        out.Reset();
        ::unlinkat(folderFd, partName.c_str(), 0);
    };
    const TZipFile entry(zip_fopen_index(archive, index, 0));
    if (!entry) {
        WriteLog(kLogSender, "UnzipCabinet cannot open entry " + bareName + ": " + zip_strerror(archive));
        dropPart();
        return TExtractResult::Failed;
    }
    std::vector<char> buffer(kExtractBufferSize);
    for (;;) {
        const zip_int64_t got = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (got < 0) {
            WriteLog(kLogSender, "UnzipCabinet damaged entry " + bareName + ": " + zip_file_strerror(entry.get()));
            dropPart();
            return TExtractResult::Failed;
        }
        if (got == 0) {
            break;
        }
        written += got;
        if (written > bound) {
            dropPart();
            return TExtractResult::OverBound;
        }
        if (!WriteAll(out.Get(), buffer.data(), static_cast<std::size_t>(got))) {
            WriteLog(kLogSender, "UnzipCabinet cannot write " + bareName + ": " + std::strerror(errno));
            dropPart();
            return TExtractResult::Failed;
        }
    }
    out.Reset();
    if (::renameat(folderFd, partName.c_str(), folderFd, bareName.c_str()) != 0) {
        WriteLog(kLogSender, "UnzipCabinet cannot replace " + bareName + ": " + std::strerror(errno));
        ::unlinkat(folderFd, partName.c_str(), 0);
        return TExtractResult::Failed;
    }
    return TExtractResult::Written;
}

}  // namespace

TCabinetRange CabinetRange(int fromPage, int toPage, int pageCount) {
    TCabinetRange range;
    range.Last = (toPage > 0 && toPage < pageCount) ? toPage : pageCount;
    range.Whole = range.Last == pageCount;
    range.First = fromPage <= 1 ? 1 : fromPage;
    return range;
}

std::vector<TCabinetPage> CabinetPagesOf(TPageRoot& root) {
    std::vector<TCabinetPage> pages;
    root.FContentList.LockList().ForEach([&pages](const TPageListObj& page) {
        pages.push_back(TCabinetPage{page.LocalFileName(), page.PageNo, page.DLType});
    });
    return pages;
}

int ZipList(const std::string& arcName, const std::vector<TCabinetPage>& pages, int fromPage, int toPage,
            const TExtractImagePage& extractPage, const TCabinetProgress& progress) {
    WriteLog(kLogSender, "ZipList BEGIN");
    const TCabinetRange range = CabinetRange(fromPage, toPage, static_cast<int>(pages.size()));
    TTempFiles madeFiles;
    std::set<std::string> entryNames{std::string(kCabinetListName)};
    std::map<std::string, std::string> copyOfSource;  // source key -> entry name
    std::vector<TCabinetEntry> entries;
    std::string listText;

    for (int index = range.First; index <= range.Last; ++index) {
        const TCabinetPage& page = pages[static_cast<std::size_t>(index - 1)];
        const std::string& source = page.LocalFileName;
        const std::int32_t pageNo = page.PageNo == 0 ? 1 : page.PageNo;
        const std::string ext = ExtractFileExt(source);
        std::string entryName;
        std::int32_t listedPage = pageNo;
        const bool exists = FileExists(source);
        if (!exists) {
            // Listed all the same, so the reopened cabinet keeps the page's place as a missing page.
            WriteLog(kLogSender, "ZipList source file missing: " + source);
        }
        if (range.Whole) {
            const std::string key = SourceKey(source);
            const auto known = copyOfSource.find(key);
            if (known != copyOfSource.end()) {
                entryName = known->second;
            } else {
                entryName = ExtractFileName(FreshCopyName(ext, entryNames));
                copyOfSource.emplace(key, entryName);
                if (exists) {
                    entries.push_back({source, entryName});
                }
            }
        } else if (!exists) {
            entryName = ExtractFileName(FreshCopyName(ext, entryNames));
        } else {
            const std::string copy = FreshCopyName(ext, entryNames);
            entryName = ExtractFileName(copy);
            bool extracted = false;
            if (page.DLType == dltImage && extractPage) {
                madeFiles.Add(copy);
                extracted = extractPage(source, pageNo, copy) && FileExists(copy);
                if (!extracted) {
                    WriteLog(kLogSender, "ZipList page " + std::to_string(pageNo) + " of " + source +
                                             " could not be extracted; the whole file is stored");
                }
            }
            entries.push_back({extracted ? copy : source, entryName});
            listedPage = extracted ? 1 : pageNo;
        }
        listText += entryName + ";" + std::to_string(listedPage) + "\r\n";
    }
    WriteArchive(arcName, entries, listText, progress);
    WriteLog(kLogSender, "ZipList END");
    return 0;
}

std::int64_t CabinetExtractionBound(std::int64_t arcSize, const TCabinetLimits& limits) {
    return std::max(limits.ExpansionFactor * arcSize, limits.MinExtractedBytes);
}

int UnzipCabinet(const std::string& arcName, const std::string& folder, const TCabinetProgress& progress,
                 const TCabinetLimits& limits) {
    int openError = 0;
    const TZipArchive archive(zip_open(arcName.c_str(), ZIP_RDONLY, &openError));
    if (!archive) {
        WriteLog(kLogSender, "UnzipCabinet cannot open " + arcName + ": " + ZipErrorText(openError));
        return 0;
    }
    const TFileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.IsOpen()) {
        WriteLog(kLogSender, "UnzipCabinet cannot open folder " + folder + ": " + std::strerror(errno));
        return 0;
    }
    const std::int64_t bound = CabinetExtractionBound(FileSizeOf(arcName), limits);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    std::int64_t written = 0;
    for (zip_int64_t index = 0; index < count; ++index) {
        const auto entryIndex = static_cast<zip_uint64_t>(index);
        const char* rawName = zip_get_name(archive.get(), entryIndex, ZIP_FL_ENC_RAW);
        const std::string_view name = rawName == nullptr ? std::string_view() : std::string_view(rawName);
        const std::optional<std::string> bareName = BareEntryName(name);
        if (!bareName || IsSpecialEntry(archive.get(), entryIndex, name)) {
            WriteLog(kLogSender, "UnzipCabinet skipped entry " + std::string(name));
            continue;
        }
        if (progress) {
            progress(*bareName, static_cast<int>(index + 1), static_cast<int>(count));
        }
        if (ExtractEntry(archive.get(), entryIndex, folderFd.Get(), *bareName, written, bound) ==
            TExtractResult::OverBound) {
            WriteLog(kLogSender, "UnzipCabinet stopped at " + *bareName + ": more than " + std::to_string(bound) +
                                     " bytes would be extracted from " + arcName);
            break;
        }
    }
    return 0;
}

std::string MakeCabinetFolder() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string folder = MakeTempFileName(".cabinet");
        if (::mkdir(folder.c_str(), 0700) == 0) {
            return folder + "/";
        }
        if (errno != EEXIST) {
            WriteLog(kLogSender, "MakeCabinetFolder cannot create " + folder + ": " + std::strerror(errno));
            break;
        }
    }
    return GetTempDir();
}

void RemoveCabinetFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const std::string name = ExtractFileName(path);
    if (ExtractFilePath(path) != GetTempDir() || name.rfind("pxdtmp", 0) != 0 ||
        name.size() < 8 || name.substr(name.size() - 8) != ".cabinet") {
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error) {
        WriteLog(kLogSender, "RemoveCabinetFolder " + path + ": " + error.message());
    }
}

std::string CabinetChildName(const std::string& folder) { return folder + std::string(kCabinetListName); }

}  // namespace paxid
