#include "cli/PaxidJob.h"

#include "cli/PaxidImageCommands.h"

#include "app/pDiagnostics.h"
#include "app/pPaxidVW3.h"
#include "app/pViewerInterfaces.h"

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
#include "platform/imaging/PdfPrinter.h"
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
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace paxid {

namespace {

constexpr const char* kUsage =
    "usage: paxid pages [--json] [--thumbs DIR] [--thumb-size WxH] [--log] [--quiet] [--] SOURCE...\n"
    "       paxid tree [--log] [--quiet] [--] SOURCE...\n"
    "       paxid cabinet OUT.paxidcab [--from N] [--to M] [--] SOURCE...\n"
    "       paxid decrypt [--cert-password P] [--] PACKAGE OUT\n"
    "       paxid save OUT [--from N] [--to M] [--] SOURCE...\n"
    "       paxid print --pdf OUT.pdf [--fit | --tiles] [--from N --to M] [--page-size SIZE] [--dpi D] [--] SOURCE...\n"
    "       paxid state [--json] [--] SOURCE...\n"
    "       paxid diag\n"
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
    "  --pdf OUT.pdf     print into this PDF file (A4 at 300 dpi unless --page-size and --dpi say otherwise)\n"
    "  --fit, --tiles    fit large pages to the paper, or print them in tiles (default: the settings)\n"
    "  --page-size SIZE  A3, A4, A5, Letter, Legal, or WxH in millimetres\n"
    "  --dpi D           printer resolution in dots per inch (72 to 1200)\n"
    "\n"
    "\"save\" writes the document as the viewer's \"Save as\" does, chosen by the extension of OUT\n"
    "(.tif, .tiff, .pdf, .jpg, .jpeg, .bmp, .jbg, .jbig, .paxidcab); \"state\" prints the command\n"
    "flags and the enabled state of every control; \"diag\" writes the diagnostics package.\n"
    "\n"
    "Exit status: 0 every page loaded, 3 a page is missing, 4 a package did not decrypt, 1 usage error,\n"
    "2 the output could not be written (or its extension is not supported).\n";

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
    std::optional<bool> FitToPage;  // print: --fit or --tiles
    double PaperWidthMm = 210.0;
    double PaperHeightMm = 297.0;
    int Dpi = 300;
    std::vector<std::string> Sources;
};

bool ParsePaperSize(std::string_view text, double& widthMm, double& heightMm) {
    const struct {
        std::string_view Name;
        double Width;
        double Height;
    } sizes[] = {{"A3", 297, 420}, {"A4", 210, 297}, {"A5", 148, 210}, {"Letter", 215.9, 279.4}, {"Legal", 215.9, 355.6}};
    for (const auto& size : sizes) {
        if (size.Name.size() == text.size() && ::strncasecmp(size.Name.data(), text.data(), text.size()) == 0) {
            widthMm = size.Width;
            heightMm = size.Height;
            return true;
        }
    }
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) {
        return false;
    }
    int width = 0;
    int height = 0;
    const auto w = std::from_chars(text.data(), text.data() + x, width);
    const auto h = std::from_chars(text.data() + x + 1, text.data() + text.size(), height);
    if (w.ec != std::errc() || h.ec != std::errc() || w.ptr != text.data() + x || h.ptr != text.data() + text.size() ||
        width < 20 || height < 20 || width > 2000 || height > 2000) {
        return false;
    }
    widthMm = width;
    heightMm = height;
    return true;
}

std::optional<int> ParseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
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
        options.Command != "decrypt" && options.Command != "save" && options.Command != "print" &&
        options.Command != "state" && options.Command != "diag") {
        err << "paxid: unknown command \"" << options.Command << "\"\n" << kUsage;
        return kExitUsage;
    }
    if (options.Command == "cabinet" || options.Command == "save") {
        if (index >= argc) {
            err << "paxid: " << options.Command << " wants " << (options.Command == "save" ? "OUT" : "OUT.paxidcab")
                << "\n" << kUsage;
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
        } else if (argument == "--pdf" && hasValue) {
            options.Output = argv[++index];
        } else if (argument == "--fit" || argument == "--tiles") {
            options.FitToPage = argument == "--fit";
        } else if (argument == "--page-size" && hasValue) {
            if (!ParsePaperSize(argv[++index], options.PaperWidthMm, options.PaperHeightMm)) {
                err << "paxid: --page-size wants A3, A4, A5, Letter, Legal or WxH in millimetres\n";
                return kExitUsage;
            }
        } else if (argument == "--dpi" && hasValue) {
            const std::optional<int> dpi = ParseNumber(argv[++index]);
            if (!dpi || *dpi < 72 || *dpi > 1200) {
                err << "paxid: --dpi wants 72 to 1200\n";
                return kExitUsage;
            }
            options.Dpi = *dpi;
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
    if (options.Command == "diag") {
        return std::nullopt;
    }
    if (options.Command == "print" && options.Output.empty()) {
        err << "paxid: print wants --pdf OUT.pdf\n" << kUsage;
        return kExitUsage;
    }
    if (options.Sources.empty()) {
        err << "paxid: no SOURCE given\n" << kUsage;
        return kExitUsage;
    }
    return std::nullopt;
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

// Messages of the controller on standard error, remembered so the tool can
// tell how an operation ended.
class TCliMessages final : public TUserMessages {
public:
    explicit TCliMessages(std::ostream& err) : FConsole(err) {}
    void ShowMessage(const std::string& caption, const std::string& text, TMessageIcon icon) override {
        FShown.push_back(text);
        FConsole.ShowMessage(caption, text, icon);
    }
    void Beep(int frequencyHz, int durationMs) override { FConsole.Beep(frequencyHz, durationMs); }
    bool Shown(const std::string& text) const { return std::find(FShown.begin(), FShown.end(), text) != FShown.end(); }
    void Clear() { FShown.clear(); }

private:
    TConsoleMessages FConsole;
    std::vector<std::string> FShown;
};

// The tool's printer: a PDF file of the chosen paper at the chosen resolution.
// Its print dialog confirms the range of --from and --to.
class TCliPrinterAccess final : public TPrinterAccess {
public:
    explicit TCliPrinterAccess(const TOptions& options)
        : FOptions(options),
          FPrinter(options.Output, options.Dpi, options.Dpi, Dots(options.PaperWidthMm, options.Dpi),
                   Dots(options.PaperHeightMm, options.Dpi)) {}

    TPrinter* Printer() override { return &FPrinter; }
    bool HasPrinters() const override { return true; }
    std::string PrinterName() const override { return "PDF"; }
    bool Landscape() const override { return FOptions.PaperWidthMm > FOptions.PaperHeightMm; }
    bool MakesCopies() const override { return false; }
    void SetCopies(int) override {}
    bool ChoosePrintRange(int pageCount, TPrintRange& range) override {
        range.FromPage = FOptions.FromPage > 0 ? FOptions.FromPage : 1;
        range.ToPage = FOptions.ToPage > 0 ? std::min(FOptions.ToPage, pageCount) : pageCount;
        range.Copies = 1;
        return range.FromPage <= range.ToPage;
    }
    bool Written() const { return FPrinter.Written(); }

private:
    static int Dots(double millimetres, int dpi) { return static_cast<int>(millimetres / 25.4 * dpi + 0.5); }

    const TOptions& FOptions;
    TPdfPrinter FPrinter;
};

void PrintState(TPaxidVW3& controller, bool json, std::ostream& out) {
    const TUIFlags& f = controller.Flags;
    const std::pair<const char*, bool> flags[] = {
        {"UIOpenEnabled", f.FUIOpenEnabled},         {"UISaveEnabled", f.FUISaveEnabled},
        {"UIPrintEnabled", f.FUIPrintEnabled},       {"UIEMailEnabled", f.FUIEMailEnabled},
        {"UIClipboardEnabled", f.FUIClipboardEnabled}, {"UINavigationEnabled", f.FUINavigationEnabled},
        {"UIViewEnabled", f.FUIViewEnabled},         {"UIImgProcEnabled", f.FUIImgProcEnabled},
        {"UIOCREnabled", f.FUIOCREnabled},           {"ReadOnly", f.FReadOnly},
        {"DisableClear", f.FDisableClear},           {"TwainAvailable", f.FTwainAvailable},
    };
    const TControlStates states = controller.ControlStates();
    TPageRoot& root = controller.PageRoot();
    if (json) {
        nlohmann::ordered_json document;
        for (const auto& [name, value] : flags) {
            document["flags"][name] = value;
        }
        document["currentIndex"] = root.CurrentContentIndex.load();
        document["pageCount"] = root.ContentCount();
        document["pageNumberText"] = states.PageNumberText;
        document["controls"] = nlohmann::ordered_json::object();
        for (const TControlState& state : states.Controls) {
            document["controls"][state.Name] = state.Enabled;
        }
        out << document.dump() << "\n";
        return;
    }
    for (const auto& [name, value] : flags) {
        out << name << '\t' << (value ? "true" : "false") << '\n';
    }
    out << "currentIndex\t" << root.CurrentContentIndex.load() << "\npageCount\t" << root.ContentCount() << '\n';
    for (const TControlState& state : states.Controls) {
        out << state.Name << '\t' << (state.Enabled ? "enabled" : "disabled") << '\n';
    }
}

}  // namespace

int RunPaxid(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (const std::optional<int> exitCode = RunImageCommand(argc, argv, out, err)) {
        return *exitCode;
    }
    TOptions options;
    if (const std::optional<int> exitCode = ParseArguments(argc, argv, options, out, err)) {
        return *exitCode;
    }
    WriteLog(nullptr, std::string(81, '*'));
    if (options.Command == "decrypt") {
        return Decrypt(options, out);
    }
    TQueueMainThread mainThread;
    TCliMessages messages(err);
    TManualTimer timer;
    TPaxidVW3 controller(mainThread, messages, timer, TSettingsStore::User());
    std::vector<std::string> commandLine{argc > 0 ? argv[0] : "paxid"};
    controller.Initialize(commandLine);
    controller.LoadSettings();
    controller.LangMenuSet();
    TCliPrinterAccess printer(options);
    controller.SetPrinterAccess(&printer);
    if (options.Command == "diag") {
        const std::string package = CreateDebugPackage(&controller.PageRoot());
        if (package.empty()) {
            err << "paxid: cannot write the diagnostics package\n";
            return kExitFailure;
        }
        out << package << "\n";
        return kExitAllLoaded;
    }
    TPageRoot& root = controller.PageRoot();
    root.DataCryptKeys = KeysFor(options);
    if (options.ThumbWidth > 0) {
        root.SetThumbWidth(options.ThumbWidth);
        root.SetThumbHeight(options.ThumbHeight);
    }

    std::vector<std::string> commands;
    controller.OnCommandReceived = [&commands](const std::string& command) { commands.push_back(command); };
    TProgressBar bar(!options.Quiet && ::isatty(STDERR_FILENO) == 1);
    root.OnProgress = [&](const TProgressInfo& progress) {
        controller.OnProgress(progress);
        bar.Show(progress.Progress, progress.ProgressMax, root.ContentCount());
    };
    for (const std::string& source : options.Sources) {
        std::error_code error;
        if (!IsCommandSource(source) && std::filesystem::is_directory(source, error)) {
            controller.AddFolder(source);
        } else {
            controller.AddEntry(source);
        }
    }
    controller.LoadAndWait();
    bar.Finish();

    bool missing = false;
    const int pages = root.ContentCount();
    for (int i = 0; i < pages; ++i) {
        missing = missing || root.ContentItem(i)->DLType == dltMissing;
    }
    const int loadedExit = missing ? kExitPageMissing : kExitAllLoaded;
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
    } else if (options.Command == "save") {
        messages.Clear();
        controller.SaveFileEx(options.Output, options.FromPage, options.ToPage);
        if (messages.Shown("Not supported") || !FileExists(options.Output)) {
            if (!messages.Shown("Not supported")) {
                err << "paxid: nothing written to " << options.Output << "\n";
            }
            return kExitFailure;
        }
    } else if (options.Command == "print") {
        if (options.FitToPage) {
            controller.FPrintFitToPage = *options.FitToPage;
        }
        if (options.FromPage > 0 || options.ToPage > 0) {
            controller.PrintInRange();
        } else {
            controller.Print();
        }
        if (!printer.Written()) {
            err << "paxid: nothing printed to " << options.Output << "\n";
            return kExitFailure;
        }
    } else if (options.Command == "state") {
        if (!options.Quiet) {
            PrintState(controller, options.Json, out);
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
                TPageListObj* page = root.ContentItem(i);
                nlohmann::ordered_json json = PageJson(i, *page);
                json["caption"] = controller.ThumbCaption(page);
                document["pages"].push_back(std::move(json));
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
    return loadedExit;
}

}  // namespace paxid
