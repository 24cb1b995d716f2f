#pragma once

#include "platform/settings/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paxid {

// Every user setting the viewer reads, with its default already applied.
// A value that is missing, longer than 255 characters, not a number where one
// is expected or outside its limits reads as its default.
struct TViewerSettings {
    // [Settings]
    int JpegQuality = 48;             // "jpgQ": JPEG quality factor, 2 (finest) .. 255
    std::string ProxyUser;            // "ProxyUser"
    std::string ProxyPassword;        // "ProxyPassword"
    int ThumbWidth = 100;             // "ThumbWidth": thumbnail pixels, 16 .. 4096
    int ThumbHeight = 140;            // "ThumbHeight"
    int ThumbShowTextLevel = -1;      // "ThumbShowTextLevel": caption level as stored
    bool PrintFitToPage = true;       // "PrintFitToPage": off only for "False" (any case)
    std::string CurrentPrinter;       // "CurrentPrinter", trimmed
    bool PrinterLandscape = false;    // "PrinterOrientation" is "Landscape" (any case)
    int PrinterPaperSize = 0;         // "PrinterPaperSize"; 0 = leave the printer's own
    int DownloadStallTimeout = 60;    // "DownloadStallTimeout": seconds without a byte, 1 .. 3600
    std::int64_t MaxDownloadSize = std::int64_t{4} << 30;  // "MaxDownloadSize": bytes, above 0
    // [Pos]
    std::string LastFileOpen;         // "LastFileOpen"
    int WndLeft = 50;                 // "WndLeft", "WndTop", "WndWidth", "WndHeight": screen pixels
    int WndTop = 50;
    int WndWidth = 500;               // 1 .. 100000
    int WndHeight = 400;
    int ThumbPanelWidth = 130;        // "ThumbWidth" of [Pos]: thumbnail panel pixels, 30 .. 100000
    bool CenterImage = false;         // "CenterImage": on only for "True" (any case)
    int ImageZoomState = 0;           // "ImageZoomState"
    int ImageZoom = 100;              // "ImageZoom": percent, 1 .. 100000
    // [Language]
    std::string Language;             // "Language": a language file; only its file name counts

    // The caption level the thumbnails use: -1 becomes 3 unless embedded.
    int CaptionLevel(bool embedded) const;
};

// Reads every value of the table from store, each with its default and limits.
TViewerSettings ReadViewerSettings(const TSettingsStore& store);

// Window bounds in screen pixels.
struct TWindowBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// What the program writes when its main window closes. Bounds only when the
// window was in its normal state, not full screen and not embedded; the
// panel width only in the page-and-thumbnails view mode.
struct TExitSettings {
    std::string LastFileOpen;
    std::optional<TWindowBounds> WindowBounds;
    std::optional<int> ThumbPanelWidth;
    std::string LanguageFile;  // full path of the loaded language file; empty when none
    bool CenterImage = false;
    bool PrintFitToPage = true;
};

std::vector<TSettingValue> ExitSettingValues(const TExitSettings& settings);
// One write of all of them; a failing write is logged and ignored.
void WriteExitSettings(TSettingsStore& store, const TExitSettings& settings);

// The printer choice the printer setup and the print dialog write.
struct TPrinterSettings {
    std::string CurrentPrinter;
    bool Landscape = false;
    std::optional<int> PaperSize;  // the print dialog does not write it
};
std::vector<TSettingValue> PrinterSettingValues(const TPrinterSettings& settings);
void WritePrinterSettings(TSettingsStore& store, const TPrinterSettings& settings);

inline const char* BoolSettingText(bool value) { return value ? "True" : "False"; }

}  // namespace paxid
