#pragma once

#include "document/pAnnotations.h"
#include "platform/imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <string>

namespace paxid {

// Zone colours are 0x00BBGGRR values as host programs pass them; 0 means
// the default fill.
using TZoneColor = std::uint32_t;
TColor ColorFromZoneColor(TZoneColor color);

inline constexpr TColor kZoneBorderColor{255, 0, 0};
inline constexpr TColor kZoneDefaultFillColor{255, 255, 100};
inline constexpr const char* kZoneName = "ZONE";

// Zone rectangle rounded to whole image pixels: right and bottom, not width
// and height.
struct TZoneRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TZoneRect&, const TZoneRect&) = default;
};

// The OCR languages of the user's settings ("OcrLanguages" in [Settings]),
// "eng" when unset.
std::string OcrLanguagesSetting();

// Zones and character recognition on the page an image view shows: the zones
// are the rectangle objects named "ZONE" in the page's annotation container.
// Refers to the page and the container, owns neither; both must outlive it.
// Coordinates are image pixels of the page. Every recognition starts and
// shuts down its own engine, so no engine state survives a call. Main thread.
class TZones {
public:
    TZones(const TBitmap& page, TAnnContainer& annotations, std::string ocrLanguages = OcrLanguagesSetting());

    std::intptr_t ZoneCreate(int x1, int y1, int x2, int y2, TZoneColor color);
    void ZoneDestroy(std::intptr_t handle);
    int ZoneCount() const;
    // Four zeros when index names no zone.
    TZoneRect ZoneRect(int index) const;
    // Empty when index names no zone.
    std::string ZoneOCR(int index);
    void ZonesClear();
    // The recognised text: segment texts trimmed, joined without separator,
    // every LF turned into CR LF; empty on any failure. autoSeg: the
    // rectangle is cut out and segmented automatically; else it is the one
    // text segment of the whole page.
    std::string OCR(int left, int top, int width, int height, bool autoSeg);
    void ZonesCreateOCRSeg(int left, int top, int width, int height, TZoneColor color);
    void ZonesCreateOCRSegAll(TZoneColor color);

    // The text "OCR to clipboard" puts on the clipboard: every zone with its
    // rectangle and text, else the selection, else the whole page.
    std::string OCRToClipboardText(const std::optional<TZoneRect>& selection = std::nullopt);

private:
    const TAnnObject* ZoneAt(int index) const;

    const TBitmap& FPage;
    TAnnContainer& FAnnotations;
    std::string FOcrLanguages;
};

}  // namespace paxid
