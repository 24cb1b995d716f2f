#include "cli/PaxidJob.h"

#include "document/pCabinet.h"
#include "document/pDataCrypt.h"
#include "document/pPageConvert.h"
#include "document/pPageDump.h"
#include "document/pPageRoot.h"
#include "document/pPageRootThread.h"
#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "foundation/pVersion.h"
#include "platform/imaging/Bitmap.h"
#include "platform/settings/SettingsStore.h"
#include "platform/thread/MainThread.h"
#include "retrieval/pDL.h"

#include <leptonica/allheaders.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <unistd.h>
#include <vector>

namespace paxid {

namespace {

constexpr const char* kUsage =
    "usage: paxid pages [--json] [--thumbs DIR] [--thumb-size WxH] [--log] [--quiet] [--] SOURCE...\n"
    "       paxid tree [--log] [--quiet] [--] SOURCE...\n"
    "       paxid cabinet OUT.paxidcab [--from N] [--to M] [--] SOURCE...\n"
    "       paxid decrypt [--cert-password P] [--] PACKAGE OUT\n"
    "       paxid --help | --version\n"
    "\n"
    "Loads every SOURCE (a file, optionally with \";N\" for one page; a URL; a folder, whose files\n"
    "are added in order; a command string beginning with \"-\") the way the viewer does, then prints\n"
    "one line per page (number, type, page number, content type, local file) or, with \"tree\",\n"
    "the page tree's diagnostic dump.\n"
    "\n"
    "  --json            print one JSON object instead of lines\n"
    "  --thumbs DIR      write each page's thumbnail as DIR/0001.png, DIR/0002.png, ...\n"
    "  --thumb-size WxH  thumbnail size (default: the settings ThumbWidth and ThumbHeight, else 100x140)\n"
    "  --log             write the log lines to standard error at the end\n"
    "  --quiet           print nothing but errors\n"
    "  --from N, --to M  the pages (1-based) a cabinet holds; default all\n"
    "  --cert-password P the password of the certificate's key (else $PAXID_CERT_PASSWORD)\n"
    "\n"
    "Exit status: 0 every page loaded, 3 a page is missing, 4 a package did not decrypt, 1 usage error.\n";

struct TOptions {
    std::string Command;
    bool Json = false;
    bool Log = false;
    bool Quiet = false;
    std::string ThumbsFolder;
    std::string Output;        // the cabinet or decrypted file to write
    std::string Package;       // the package to decrypt
    int FromPage = 0;
    int ToPage = 0;
    std::optional<std::string> CertPassword;
    int ThumbWidth = 0;
    int ThumbHeight = 0;
    std::vector<std::string> Sources;
};

std::optional<int> ParseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

int SettingNumber(const TSettingsStore& settings, const char* name, int fallback) {
    const std::optional<std::string> text = settings.ReadString("Settings", name);
    const std::optional<int> value = text ? ParseNumber(*text) : std::nullopt;
    return value ? *value : fallback;
}

bool ParseSize(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) {
        return false;
    }
    const std::optional<int> w = ParseNumber(text.substr(0, x));
    const std::optional<int> h = ParseNumber(text.substr(x + 1));
    if (!w || !h || *w < 16 || *h < 16 || *w > 4096 || *h > 4096) {
        return false;
    }
    width = *w;
    height = *h;
    return true;
}

// Returns an exit code when the invocation ends here (help, version, usage error).
std::optional<int> ParseArguments(int argc, char** argv, TOptions& options, std::ostream& out, std::ostream& err) {
    int index = 1;
    if (index < argc && (std::string_view(argv[index]) == "--help" || std::string_view(argv[index]) == "-h")) {
        out << kUsage;
        return kExitAllLoaded;
    }
    if (index < argc && std::string_view(argv[index]) == "--version") {
        out << "paxid " << version::kFileVersion << "\n";
        return kExitAllLoaded;
    }
    if (index >= argc) {
        err << kUsage;
        return kExitUsage;
    }
    options.Command = argv[index++];
    if (options.Command != "pages" && options.Command != "tree" && options.Command != "cabinet" &&
        options.Command != "decrypt") {
        err << "paxid: unknown command \"" << options.Command << "\"\n" << kUsage;
        return kExitUsage;
    }
    if (options.Command == "cabinet") {
        if (index >= argc) {
            err << "paxid: cabinet wants OUT.paxidcab\n" << kUsage;
            return kExitUsage;
        }
        options.Output = argv[index++];
    }
    for (; index < argc; ++index) {
        const std::string_view argument = argv[index];
        const bool hasValue = index + 1 < argc;
        if (argument == "--") {
            ++index;
            break;
        }
        if (argument == "--json") {
            options.Json = true;
        } else if (argument == "--log") {
            options.Log = true;
        } else if (argument == "--quiet") {
            options.Quiet = true;
        } else if (argument == "--help") {
            out << kUsage;
            return kExitAllLoaded;
        } else if ((argument == "--from" || argument == "--to") && hasValue) {
            const std::optional<int> page = ParseNumber(argv[++index]);
            if (!page) {
                err << "paxid: " << argument << " wants a page number\n";
                return kExitUsage;
            }
            (argument == "--from" ? options.FromPage : options.ToPage) = *page;
        } else if (argument == "--cert-password" && hasValue) {
            options.CertPassword = argv[++index];
        } else if (argument == "--thumbs" && hasValue) {
            options.ThumbsFolder = argv[++index];
        } else if (argument == "--thumb-size" && hasValue) {
            if (!ParseSize(argv[++index], options.ThumbWidth, options.ThumbHeight)) {
                err << "paxid: --thumb-size wants WxH, each 16 to 4096\n";
                return kExitUsage;
            }
        } else if (argument.rfind("--", 0) == 0) {
            err << "paxid: unknown option \"" << argument << "\"\n" << kUsage;
            return kExitUsage;
        } else {
            break;  // the first source ends the options
        }
    }
    options.Sources.assign(argv + index, argv + argc);
    if (options.Command == "decrypt") {
        if (options.Sources.size() != 2) {
            err << "paxid: decrypt wants PACKAGE OUT\n" << kUsage;
            return kExitUsage;
        }
        options.Package = options.Sources[0];
        options.Output = options.Sources[1];
        return std::nullopt;
    }
    if (options.Sources.empty()) {
        err << "paxid: no SOURCE given\n" << kUsage;
        return kExitUsage;
    }
    return std::nullopt;
}

// A source that is a command string rather than a file: "-" always; "/" only
// for a single word without a dot that names nothing on disk, since absolute
// paths begin with "/" here.
bool IsCommandString(const std::string& source) {
    if (source.empty()) {
        return false;
    }
    if (source.front() == '-') {
        return true;
    }
    std::error_code error;
    return source.front() == '/' && source.find_first_of("/.", 1) == std::string::npos &&
           !std::filesystem::exists(source, error);
}

// The files of a folder in the order the file system lists them.
std::vector<std::string> FolderFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error)) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

class TProgressBar {
public:
    explicit TProgressBar(bool enabled) : FEnabled(enabled) {}
    ~TProgressBar() { Finish(); }

    void Show(std::int64_t progress, std::int64_t maximum, int pages) {
        if (!FEnabled) {
            return;
        }
        constexpr int kWidth = 30;
        const int filled = maximum > 0 ? static_cast<int>(std::min<std::int64_t>(kWidth, progress * kWidth / maximum)) : 0;
        std::fprintf(stderr, "\r[%-*s] %d pages, %lld KiB", kWidth, std::string(filled, '#').c_str(), pages,
                     static_cast<long long>(progress / 1024));
        std::fflush(stderr);
        FShown = true;
    }

    void Finish() {
        if (FShown) {
            std::fprintf(stderr, "\r%60s\r", "");
            std::fflush(stderr);
            FShown = false;
        }
    }

private:
    bool FEnabled;
    bool FShown = false;
};

bool WriteThumbnail(const TBitmap& thumbnail, const std::string& path) {
    return !thumbnail.IsEmpty() && pixWrite(path.c_str(), thumbnail.Get(), IFF_PNG) == 0;
}

nlohmann::ordered_json PageJson(int index, const TPageListObj& page) {
    return {{"index", index},
            {"urlName", page.URLName},
            {"fileName", page.FileName},
            {"localFileName", page.LocalFileName()},
            {"pageNo", page.PageNo},
            {"dlType", DLTypeName(page.DLType)},
            {"contentType", page.ContentType},
            {"errorCode", page.ErrorCode},
            {"errorText", page.ErrorText},
            {"level", page.Level}};
}

// Writes page pageNo of an image file into target as a file of that page
// alone: a TIFF page becomes a one-page TIFF; the other image formats hold
// one page, so the file itself is that page.
bool ExtractImagePage(const std::string& source, std::int32_t pageNo, const std::string& target) {
    const std::string ext = ExtractFileExt(source);
    if (SameContentType(ext, ".tif") || SameContentType(ext, ".tiff")) {
        ConvertToTiff(source, pageNo, target, 0);
    } else {
        std::error_code error;
        std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
    }
    return FileExists(target);
}

TDataCryptKeys KeysFor(const TOptions& options) {
    TDataCryptKeys keys = DefaultDataCryptKeys();
    if (options.CertPassword) {
        keys.Prompt = [password = *options.CertPassword](const std::string&) { return std::optional(password); };
    }
    return keys;
}

int Decrypt(const TOptions& options, std::ostream& out) {
    std::string errorText;
    const std::int32_t code = DataCrypt_Decrypt(options.Package, options.Output, errorText, KeysFor(options));
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    out << code << "\t0x" << hex << "\t" << errorText << "\n";
    return code == 0 ? kExitAllLoaded : kExitNotDecrypted;
}

}  // namespace

int RunPaxid(int argc, char** argv, std::ostream& out, std::ostream& err) {
    TOptions options;
    if (const std::optional<int> exitCode = ParseArguments(argc, argv, options, out, err)) {
        return *exitCode;
    }
    WriteLog(nullptr, std::string(81, '*'));
    if (options.Command == "decrypt") {
        return Decrypt(options, out);
    }
    const TSettingsStore settings = TSettingsStore::User();
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    root.DataCryptKeys = KeysFor(options);
    root.SetThumbWidth(options.ThumbWidth > 0 ? options.ThumbWidth : SettingNumber(settings, "ThumbWidth", 100));
    root.SetThumbHeight(options.ThumbHeight > 0 ? options.ThumbHeight : SettingNumber(settings, "ThumbHeight", 140));
    TDL& downloader = root.Downloader();
    downloader.ProxyUser = settings.ReadString("Settings", "ProxyUser").value_or("");
    downloader.ProxyPassword = settings.ReadString("Settings", "ProxyPassword").value_or("");
    downloader.Limits.StallSeconds = SettingNumber(settings, "DownloadStallTimeout", downloader.Limits.StallSeconds);
    if (const std::optional<std::string> maxSize = settings.ReadString("Settings", "MaxDownloadSize")) {
        long long bytes = 0;
        if (std::from_chars(maxSize->data(), maxSize->data() + maxSize->size(), bytes).ec == std::errc() && bytes > 0) {
            downloader.Limits.MaxBytes = bytes;
        }
    }

    std::vector<std::string> commands;
    root.OnCommand = [&commands](const std::string& command) { commands.push_back(command); };
    root.OnMessage = [&err](const std::string& caption, const std::string& text) {
        err << caption << ": " << text << "\n";
    };
    TProgressBar bar(!options.Quiet && ::isatty(STDERR_FILENO) == 1);
    root.OnProgress = [&](const TProgressInfo& progress) {
        bar.Show(progress.Progress, progress.ProgressMax, root.ContentCount());
    };
    for (const std::string& source : options.Sources) {
        if (IsCommandString(source)) {
            commands.push_back(source);
            continue;
        }
        std::error_code error;
        const std::vector<std::string> names =
            std::filesystem::is_directory(source, error) ? FolderFiles(source) : std::vector<std::string>{source};
        for (const std::string& name : names) {
            root.AddChild()->URLName = name;
        }
    }
    root.StartAllLevelsExpandThread();
    mainThread.WaitUntil([&root] { return root.FPageRootThread == nullptr || root.FPageRootThread->Finished(); });
    root.StopAllLevelsExpandThread();
    bar.Finish();

    bool missing = false;
    const int pages = root.ContentCount();
    for (int i = 0; i < pages; ++i) {
        missing = missing || root.ContentItem(i)->DLType == dltMissing;
    }
    if (!options.ThumbsFolder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.ThumbsFolder, error);
        for (int i = 0; i < pages; ++i) {
            const TPageListObj& page = *root.ContentItem(i);
            char name[32];
            std::snprintf(name, sizeof name, "/%04d.png", i + 1);
            if (page.Thumbnail == nullptr || !WriteThumbnail(*page.Thumbnail, options.ThumbsFolder + name)) {
                err << "paxid: cannot write the thumbnail " << options.ThumbsFolder << name << "\n";
            }
        }
    }
    if (options.Command == "cabinet") {
        try {
            ZipList(options.Output, CabinetPagesOf(root), options.FromPage, options.ToPage, &ExtractImagePage);
        } catch (const std::exception& error) {
            err << "paxid: cannot write " << options.Output << ": " << error.what() << "\n";
            return kExitFailure;
        }
    } else if (!options.Quiet) {
        if (options.Command == "tree") {
            for (const std::string& line : DebugList(root, "TPaxidVW3")) {
                out << line << "\n";
            }
        } else if (options.Json) {
            nlohmann::ordered_json document;
            document["pages"] = nlohmann::ordered_json::array();
            for (int i = 0; i < pages; ++i) {
                document["pages"].push_back(PageJson(i, *root.ContentItem(i)));
            }
            document["nodeCount"] = root.NodeCount();
            document["completedCount"] = root.CompletedCount();
            document["currentIndex"] = root.CurrentContentIndex.load();
            document["commands"] = commands;
            out << document.dump() << "\n";
        } else {
            for (int i = 0; i < pages; ++i) {
                const TPageListObj& page = *root.ContentItem(i);
                out << (i + 1) << '\t' << DLTypeName(page.DLType) << '\t' << page.PageNo << '\t' << page.ContentType
                    << '\t' << page.LocalFileName() << '\n';
            }
        }
    }
    out.flush();
    if (options.Log) {
        for (const std::string& line : LogLines()) {
            err << line << "\n";
        }
    }
    return missing ? kExitPageMissing : kExitAllLoaded;
}

}  // namespace paxid
