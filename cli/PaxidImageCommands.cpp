#include "cli/PaxidImageCommands.h"

#include "document/pAnnotations.h"
#include "document/pZones.h"
#include "foundation/pConversions.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "platform/imaging/processing/ImageProcessing.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitWriteFailed = 2;
constexpr int kExitPageMissing = 3;

constexpr const char* kUsage =
    "usage: paxid ocr [--page N] [--rect L,T,W,H] [--autoseg] [--] SOURCE\n"
    "       paxid zones [--page N] [--color RRGGBB] [--] SOURCE\n"
    "       paxid process OP[=VALUE[,VALUE...]] IN OUT\n";

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "1,2,3" into numbers; nullopt when any is not a number.
std::optional<std::vector<int>> ParseList(std::string_view text) {
    std::vector<int> values;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::optional<int> value = ParseInt(text.substr(0, comma));
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return values;
}

// What the options of ocr and zones say.
struct TPageOptions {
    int PageNo = 1;
    std::optional<std::vector<int>> Rect;
    bool AutoSeg = false;
    TZoneColor Color = 0;
    std::string Source;
};

std::optional<TPageOptions> ParsePageOptions(int argc, char** argv, bool zones, std::ostream& err) {
    TPageOptions options;
    int i = 2;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--page" && hasValue) {
            const std::optional<int> page = ParseInt(argv[++i]);
            if (!page || *page < 1) {
                err << "paxid: --page wants a page number from 1\n";
                return std::nullopt;
            }
            options.PageNo = *page;
        } else if (!zones && arg == "--rect" && hasValue) {
            options.Rect = ParseList(argv[++i]);
            if (!options.Rect || options.Rect->size() != 4) {
                err << "paxid: --rect wants L,T,W,H\n";
                return std::nullopt;
            }
        } else if (!zones && arg == "--autoseg") {
            options.AutoSeg = true;
        } else if (zones && arg == "--color" && hasValue) {
            const std::string_view hex = argv[++i];
            unsigned rgb = 0;
            const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), rgb, 16);
            if (hex.size() != 6 || error != std::errc() || end != hex.data() + hex.size()) {
                err << "paxid: --color wants RRGGBB\n";
                return std::nullopt;
            }
            // RRGGBB to the 0x00BBGGRR value zones take.
            options.Color = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
        } else if (arg.starts_with("--")) {
            err << "paxid: unknown option " << arg << "\n" << kUsage;
            return std::nullopt;
        } else {
            break;
        }
    }
    if (i + 1 != argc) {
        err << kUsage;
        return std::nullopt;
    }
    options.Source = argv[i];
    return options;
}

bool LoadSourcePage(const std::string& source, int pageNo, TBitmap& page, std::ostream& err) {
    if (LoadPage(source, pageNo, page) != kImagingSuccess || page.IsEmpty()) {
        err << "paxid: cannot load page " << pageNo << " of " << source << "\n";
        return false;
    }
    return true;
}

// The options and the page of `paxid ocr` and `paxid zones`; kExitDone when
// both are there, otherwise the exit status the command ends with.
int PreparePageCommand(int argc, char** argv, bool zones, std::ostream& err, std::optional<TPageOptions>& options,
                       TBitmap& page) {
    options = ParsePageOptions(argc, argv, zones, err);
    if (!options) {
        return kExitUsage;
    }
    return LoadSourcePage(options->Source, options->PageNo, page, err) ? kExitDone : kExitPageMissing;
}

int RunOcr(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::optional<TPageOptions> options;
    TBitmap page;
    if (const int status = PreparePageCommand(argc, argv, false, err, options, page); status != kExitDone) {
        return status;
    }
    TAnnContainer annotations;
    TZones zones(page, annotations);
    const std::string text = options->Rect
                                 ? zones.OCR((*options->Rect)[0], (*options->Rect)[1], (*options->Rect)[2],
                                             (*options->Rect)[3], options->AutoSeg)
                                 : zones.OCR(0, 0, page.Width(), page.Height(), true);
    out << text << "\n";
    return kExitDone;
}

int RunZones(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::optional<TPageOptions> options;
    TBitmap page;
    if (const int status = PreparePageCommand(argc, argv, true, err, options, page); status != kExitDone) {
        return status;
    }
    TAnnContainer annotations;
    TZones zones(page, annotations);
    zones.ZonesCreateOCRSegAll(options->Color);
    for (int i = 0; i < zones.ZoneCount(); ++i) {
        const TZoneRect rect = zones.ZoneRect(i);
        out << rect.Left << " " << rect.Top << " " << rect.Right << " " << rect.Bottom << "\n";
    }
    return kExitDone;
}

// One operation of `paxid process`: how many values it takes and what it does.
struct TProcessOperation {
    std::size_t MinValues = 0;
    std::size_t MaxValues = 0;
    std::function<bool(TBitmap&, const std::vector<int>&)> Apply;
};

const std::map<std::string, TProcessOperation, std::less<>>& ProcessOperations() {
    using TValues = const std::vector<int>&;
    auto one = [](bool (*fn)(TBitmap&, int)) {
        return TProcessOperation{1, 1, [fn](TBitmap& b, TValues v) { return fn(b, v[0]); }};
    };
    auto filter = [](TSpatialFilter f) {
        return TProcessOperation{0, 0, [f](TBitmap& b, TValues) { return ApplySpatialFilter(b, f); }};
    };
    static const std::map<std::string, TProcessOperation, std::less<>> operations = {
        {"brightness", one(ChangeBrightness)},
        {"contrast", one(ChangeContrast)},
        {"gamma", one(CorrectGamma)},
        {"posterize", one(Posterize)},
        {"mosaic", one(Mosaic)},
        {"average", one(AverageFilter)},
        {"median", one(MedianFilter)},
        {"oilify", one(Oilify)},
        {"max", one(MaxFilter)},
        {"min", one(MinFilter)},
        {"solarize", one(Solarize)},
        {"hue", one(ChangeHue)},
        {"sharpen", one(Sharpen)},
        {"saturation", one(ChangeSaturation)},
        {"histocontrast", one(HistogramContrast)},
        {"emboss", {2, 2, [](TBitmap& b, TValues v) { return Emboss(b, v[0], v[1]); }}},
        {"noise", {1, 1, [](TBitmap& b, TValues v) { return AddNoise(b, v[0]); }}},
        {"intensity", {2, 2, [](TBitmap& b, TValues v) { return StretchIntensity(b, v[0], v[1]); }}},
        {"size", {2, 2, [](TBitmap& b, TValues v) { return ResizeBitmap(b, v[0], v[1]); }}},
        {"rotate", one(RotateByAngle)},
        {"shear", one(ShearByAngle)},
        {"colors", one(ChangeColorDepth)},
        {"gradient", filter(TSpatialFilter::Gradient)},
        {"laplacian", filter(TSpatialFilter::Laplacian)},
        {"sobel", filter(TSpatialFilter::Sobel)},
        {"prewitt", filter(TSpatialFilter::Prewitt)},
        {"shiftdiff", filter(TSpatialFilter::ShiftDifference)},
        {"lineseg", filter(TSpatialFilter::LineSegment)},
        {"erosion", filter(TSpatialFilter::Erosion)},
        {"dilation", filter(TSpatialFilter::Dilation)},
        {"custom", {3, 3, [](TBitmap& b, TValues v) {
                        b = CustomAdjustment(b, v[0], v[1], v[2]);
                        return !b.IsEmpty();
                    }}},
    };
    return operations;
}

// The save format of an output name, by extension and the page's depth;
// 0 when the extension names no format that can be written.
int FormatForOutput(const std::string& fileName, int bitsPerPixel) {
    const std::string extension = LowerASCII(std::filesystem::path(fileName).extension().string());
    const bool bitonal = bitsPerPixel == 1;
    if (extension == ".bmp") {
        return kFormatBmp;
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        return kFormatJpeg;
    }
    if (extension == ".tif" || extension == ".tiff") {
        return bitonal ? kFormatTiffG4 : kFormatTiffJpeg;
    }
    if (extension == ".pdf") {
        return bitonal ? kFormatPdfG4 : kFormatPdfJpeg;
    }
    if (extension == ".jbg" && bitonal) {
        return kFormatJbig;
    }
    return 0;
}

int RunProcess(int argc, char** argv, std::ostream& err) {
    if (argc != 5) {
        err << kUsage;
        return kExitUsage;
    }
    const std::string_view request = argv[2];
    const std::size_t equals = request.find('=');
    const std::string_view name = request.substr(0, equals);
    const auto found = ProcessOperations().find(name);
    if (found == ProcessOperations().end()) {
        err << "paxid: unknown operation " << name << "\n";
        return kExitUsage;
    }
    const std::optional<std::vector<int>> values =
        equals == std::string_view::npos ? std::vector<int>() : ParseList(request.substr(equals + 1));
    const TProcessOperation& operation = found->second;
    if (!values || values->size() < operation.MinValues || values->size() > operation.MaxValues) {
        err << "paxid: " << name << " takes " << operation.MinValues << " value(s)\n";
        return kExitUsage;
    }
    TBitmap page;
    if (!LoadSourcePage(argv[3], 1, page, err)) {
        return kExitPageMissing;
    }
    if (!operation.Apply(page, *values)) {
        err << "paxid: " << name << " could not be applied; the page is written unchanged\n";
    }
    const int format = FormatForOutput(argv[4], page.BitsPerPixel());
    if (format == 0) {
        err << "paxid: cannot write " << argv[4] << " (extensions: .bmp .jpg .tif .pdf, .jbg for 1-bit pages)\n";
        return kExitUsage;
    }
    if (SaveBitmap(argv[4], page, format, page.BitsPerPixel(), 2, 0) != kImagingSuccess) {
        err << "paxid: cannot write " << argv[4] << "\n";
        return kExitWriteFailed;
    }
    return kExitDone;
}

}  // namespace

std::optional<int> RunImageCommand(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) {
        return std::nullopt;
    }
    const std::string_view command = argv[1];
    if (command == "ocr") {
        return RunOcr(argc, argv, out, err);
    }
    if (command == "zones") {
        return RunZones(argc, argv, out, err);
    }
    if (command == "process") {
        return RunProcess(argc, argv, err);
    }
    return std::nullopt;
}

}  // namespace paxid
