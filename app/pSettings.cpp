#include "app/pSettings.h"

#include "foundation/pLog.h"

#include <charconv>
#include <strings.h>

namespace paxid {

namespace {

std::optional<std::int64_t> ParseInteger(const std::string& text) {
    std::int64_t value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

class TReader {
public:
    explicit TReader(const TSettingsStore& store) : FStore(store) {}

    std::string Text(const char* section, const char* name, const std::string& fallback = {}) const {
        return FStore.ReadString(section, name).value_or(fallback);
    }
    std::int64_t Number(const char* section, const char* name, std::int64_t fallback, std::int64_t low,
                        std::int64_t high) const {
        const std::optional<std::string> text = FStore.ReadString(section, name);
        const std::optional<std::int64_t> value = text ? ParseInteger(*text) : std::nullopt;
        if (!value || *value < low || *value > high) {
            return fallback;
        }
        return *value;
    }
    int Int(const char* section, const char* name, int fallback, int low, int high) const {
        return static_cast<int>(Number(section, name, fallback, low, high));
    }
    bool Is(const char* section, const char* name, const char* word) const {
        const std::string text = Text(section, name);
        return ::strcasecmp(text.c_str(), word) == 0;
    }

private:
    const TSettingsStore& FStore;
};

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

constexpr int kMaxPixels = 100000;

}  // namespace

int TViewerSettings::CaptionLevel(bool embedded) const {
    return ThumbShowTextLevel == -1 && !embedded ? 3 : ThumbShowTextLevel;
}

TViewerSettings ReadViewerSettings(const TSettingsStore& store) {
    const TReader read(store);
    const TViewerSettings defaults;
    TViewerSettings s;
    s.JpegQuality = read.Int("Settings", "jpgQ", defaults.JpegQuality, 2, 255);
    s.ProxyUser = read.Text("Settings", "ProxyUser");
    s.ProxyPassword = read.Text("Settings", "ProxyPassword");
    s.ThumbWidth = read.Int("Settings", "ThumbWidth", defaults.ThumbWidth, 16, 4096);
    s.ThumbHeight = read.Int("Settings", "ThumbHeight", defaults.ThumbHeight, 16, 4096);
    s.ThumbShowTextLevel = read.Int("Settings", "ThumbShowTextLevel", defaults.ThumbShowTextLevel, -1000, 1000);
    s.PrintFitToPage = !read.Is("Settings", "PrintFitToPage", "False");
    s.CurrentPrinter = Trim(read.Text("Settings", "CurrentPrinter"));
    s.PrinterLandscape = read.Is("Settings", "PrinterOrientation", "Landscape");
    s.PrinterPaperSize = read.Int("Settings", "PrinterPaperSize", 0, 1, 100000);
    s.DownloadStallTimeout = read.Int("Settings", "DownloadStallTimeout", defaults.DownloadStallTimeout, 1, 3600);
    s.MaxDownloadSize =
        read.Number("Settings", "MaxDownloadSize", defaults.MaxDownloadSize, 1, std::int64_t{1} << 50);
    s.LastFileOpen = read.Text("Pos", "LastFileOpen");
    s.WndLeft = read.Int("Pos", "WndLeft", defaults.WndLeft, -kMaxPixels, kMaxPixels);
    s.WndTop = read.Int("Pos", "WndTop", defaults.WndTop, -kMaxPixels, kMaxPixels);
    s.WndWidth = read.Int("Pos", "WndWidth", defaults.WndWidth, 1, kMaxPixels);
    s.WndHeight = read.Int("Pos", "WndHeight", defaults.WndHeight, 1, kMaxPixels);
    s.ThumbPanelWidth = read.Int("Pos", "ThumbWidth", defaults.ThumbPanelWidth, 30, kMaxPixels);
    s.CenterImage = read.Is("Pos", "CenterImage", "True");
    s.ImageZoomState = read.Int("Pos", "ImageZoomState", defaults.ImageZoomState, -1000, 1000);
    s.ImageZoom = read.Int("Pos", "ImageZoom", defaults.ImageZoom, 1, kMaxPixels);
    s.Language = read.Text("Language", "Language");
    return s;
}

std::vector<TSettingValue> ExitSettingValues(const TExitSettings& settings) {
    std::vector<TSettingValue> values{{"Pos", "LastFileOpen", settings.LastFileOpen}};
    if (settings.WindowBounds) {
        const TWindowBounds& bounds = *settings.WindowBounds;
        values.push_back({"Pos", "WndLeft", std::to_string(bounds.Left)});
        values.push_back({"Pos", "WndTop", std::to_string(bounds.Top)});
        values.push_back({"Pos", "WndWidth", std::to_string(bounds.Width)});
        values.push_back({"Pos", "WndHeight", std::to_string(bounds.Height)});
    }
    if (settings.ThumbPanelWidth) {
        values.push_back({"Pos", "ThumbWidth", std::to_string(*settings.ThumbPanelWidth)});
    }
    values.push_back({"Language", "Language", settings.LanguageFile});
    values.push_back({"Pos", "CenterImage", BoolSettingText(settings.CenterImage)});
    values.push_back({"Settings", "PrintFitToPage", BoolSettingText(settings.PrintFitToPage)});
    return values;
}

void WriteExitSettings(TSettingsStore& store, const TExitSettings& settings) {
    if (!store.WriteValues(ExitSettingValues(settings))) {
        WriteLog("TPaxidVW3", "DestroyMainForm settings not written: " + store.Path());
    }
}

std::vector<TSettingValue> PrinterSettingValues(const TPrinterSettings& settings) {
    std::vector<TSettingValue> values{{"Settings", "CurrentPrinter", settings.CurrentPrinter},
                                      {"Settings", "PrinterOrientation", settings.Landscape ? "Landscape" : "Portrait"}};
    if (settings.PaperSize) {
        values.push_back({"Settings", "PrinterPaperSize", std::to_string(*settings.PaperSize)});
    }
    return values;
}

void WritePrinterSettings(TSettingsStore& store, const TPrinterSettings& settings) {
    // Each value in its own write, so one that fails does not keep the others out.
    for (const TSettingValue& value : PrinterSettingValues(settings)) {
        if (!store.WriteString(value.Section, value.Name, value.Value)) {
            WriteLog("TPaxidVW3", "printer setting not written: " + value.Name);
        }
    }
}

}  // namespace paxid
