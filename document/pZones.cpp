#include "document/pZones.h"

#include "foundation/pLog.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/ocr/OcrEngine.h"
#include "platform/settings/SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace paxid {

namespace {

constexpr std::string_view kSender = "TZones";
// The identifier of the one segment an explicit rectangle defines.
constexpr int kExplicitSegmentId = 2011;

bool IsBlankOrControl(unsigned char c) { return c <= ' ' || c == 0x7F; }

std::string Trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlankOrControl(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && IsBlankOrControl(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string WithCrLf(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            result += '\r';
        }
        result += c;
    }
    return result;
}

int Rounded(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

TColor ColorFromZoneColor(TZoneColor color) {
    return TColor{static_cast<std::uint8_t>(color & 0xFF), static_cast<std::uint8_t>((color >> 8) & 0xFF),
                  static_cast<std::uint8_t>((color >> 16) & 0xFF)};
}

std::string OcrLanguagesSetting() {
    try {
        return TSettingsStore::User().ReadString("Settings", "OcrLanguages").value_or("eng");
    } catch (const std::exception& error) {
        // Fallback: English.
        WriteLog(kSender, std::string("OcrLanguagesSetting: ") + error.what());
        return "eng";
    }
}

TZones::TZones(const TBitmap& page, TAnnContainer& annotations, std::string ocrLanguages)
    : FPage(page), FAnnotations(annotations), FOcrLanguages(std::move(ocrLanguages)) {}

std::intptr_t TZones::ZoneCreate(int x1, int y1, int x2, int y2, TZoneColor color) {
    TAnnObject zone;
    zone.Type = kAnnObjectRectangle;
    zone.Visible = true;
    zone.AutoDefaults = false;
    // Two opposite corners, as a drag of the mouse gives them in any
    // direction; the layer keeps left/top and right/bottom.
    zone.Rect = TAnnRect{static_cast<double>(std::min(x1, x2)), static_cast<double>(std::min(y1, y2)),
                         static_cast<double>(std::max(x1, x2)), static_cast<double>(std::max(y1, y2))};
    zone.BorderColor = kZoneBorderColor;
    zone.FillColor = color == 0 ? kZoneDefaultFillColor : ColorFromZoneColor(color);
    zone.FillMode = kAnnFillTranslucent;
    zone.Name = kZoneName;
    zone.NameVisible = false;
    return FAnnotations.Insert(std::move(zone));
}

void TZones::ZoneDestroy(std::intptr_t handle) { FAnnotations.Destroy(handle); }

int TZones::ZoneCount() const {
    int count = 0;
    for (const TAnnObject& object : FAnnotations.Objects()) {
        count += object.Name == kZoneName ? 1 : 0;
    }
    return count;
}

const TAnnObject* TZones::ZoneAt(int index) const {
    if (index < 0) {
        return nullptr;
    }
    int current = 0;
    for (const TAnnObject& object : FAnnotations.Objects()) {
        if (object.Name == kZoneName && current++ == index) {
            return &object;
        }
    }
    return nullptr;
}

TZoneRect TZones::ZoneRect(int index) const {
    const TAnnObject* zone = ZoneAt(index);
    if (!zone) {
        return {};
    }
    return TZoneRect{Rounded(zone->Rect.Left), Rounded(zone->Rect.Top), Rounded(zone->Rect.Right),
                     Rounded(zone->Rect.Bottom)};
}

std::string TZones::ZoneOCR(int index) {
    if (!ZoneAt(index)) {
        return {};
    }
    const TZoneRect rect = ZoneRect(index);
    return OCR(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, false);
}

void TZones::ZonesClear() { FAnnotations.Clear(); }

std::string TZones::OCR(int left, int top, int width, int height, bool autoSeg) {
    WriteLog(kSender, "OCR BEGIN");
    std::string text;
    try {
        TOcrEngine engine;
        if (engine.StartUp(FOcrLanguages)) {
            TBitmap copy = FPage;
            bool ready = !copy.IsEmpty();
            if (ready && autoSeg) {
                ready = TrimBitmap(copy, left, top, width, height);
            }
            ready = ready && engine.AddPage(copy);
            if (ready) {
                ready = autoSeg ? engine.ProcessPage()
                                : engine.SetSegment(kExplicitSegmentId, {left, top, left + width, top + height});
            }
            for (std::size_t i = 0; ready && i < engine.Segments().size(); ++i) {
                if (engine.Segments()[i].Type == kOcrSegmentText) {
                    text += Trimmed(engine.RecognizeSegment(i));
                }
            }
        }
        engine.ShutDown();
        text = WithCrLf(text);
    } catch (const std::exception& error) {
        // Fallback: empty text.
        WriteLog(kSender, std::string("OCR: ") + error.what());
        text.clear();
    }
    WriteLog(kSender, "OCR END");
    return text;
}

void TZones::ZonesCreateOCRSeg(int left, int top, int width, int height, TZoneColor color) {
    WriteLog(kSender, "ZonesCreateOCRSeg BEGIN");
    try {
        TOcrEngine engine;
        TBitmap copy = FPage;
        if (engine.StartUp(FOcrLanguages) && TrimBitmap(copy, left, top, width, height) && engine.AddPage(copy) &&
            engine.SegmentPage()) {
            for (const TOcrSegment& segment : engine.Segments()) {
                if (segment.Type == kOcrSegmentText) {
                    ZoneCreate(left + segment.Rect.Left, top + segment.Rect.Top, left + segment.Rect.Right,
                               top + segment.Rect.Bottom, color);
                }
            }
        }
        engine.ShutDown();
    } catch (const std::exception& error) {
        // Fallback: the zones made so far stay.
        WriteLog(kSender, std::string("ZonesCreateOCRSeg: ") + error.what());
    }
    WriteLog(kSender, "ZonesCreateOCRSeg END");
}

void TZones::ZonesCreateOCRSegAll(TZoneColor color) { ZonesCreateOCRSeg(0, 0, FPage.Width(), FPage.Height(), color); }

std::string TZones::OCRToClipboardText(const std::optional<TZoneRect>& selection) {
    const int count = ZoneCount();
    if (count > 0) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            const TZoneRect rect = ZoneRect(i);
            text += "Zone " + std::to_string(i + 1) + ": " + std::to_string(rect.Left) + "x" +
                    std::to_string(rect.Top) + " " + std::to_string(rect.Right) + "x" + std::to_string(rect.Bottom) +
                    "\r\n";
            text += ZoneOCR(i) + "\r\n";
        }
        return text;
    }
    if (selection) {
        return OCR(selection->Left, selection->Top, selection->Right - selection->Left,
                   selection->Bottom - selection->Top, false);
    }
    return OCR(0, 0, FPage.Width(), FPage.Height(), true);
}

}  // namespace paxid
