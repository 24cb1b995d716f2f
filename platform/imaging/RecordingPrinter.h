#pragma once

#include "platform/imaging/Printer.h"

#include <vector>

namespace paxid {

// A printer that prints nothing and remembers every call, for checking page
// layout: what was drawn where, and where pages began and ended.
class TRecordingPrinter : public TPrinter {
public:
    enum class TEventKind { BeginDoc, NewPage, Draw, EndDoc };
    struct TEvent {
        TEventKind Kind = TEventKind::Draw;
        int Page = 0;             // 0-based printer page the event belongs to
        TPrintRect Requested;     // as the caller asked (Draw)
        TPrintRect Placed;        // with 0 sizes resolved (Draw)
        TBitmap Bitmap;           // a copy of what was drawn (Draw)
    };

    TRecordingPrinter(int xResolution, int yResolution, int pageWidth, int pageHeight);

    int XResolution() const override { return FXResolution; }
    int YResolution() const override { return FYResolution; }
    int PageWidth() const override { return FPageWidth; }
    int PageHeight() const override { return FPageHeight; }
    void SetTitle(const std::string& title) override { FTitle = title; }
    void BeginDoc() override;
    void EndDoc() override;
    void NewPage() override;
    bool Printing() const override { return FPrinting; }
    bool DrawBitmap(const TBitmap& bitmap, int left, int top, int width, int height) override;

    const std::vector<TEvent>& Events() const { return FEvents; }
    // Only the Draw events, in order.
    std::vector<const TEvent*> Draws() const;
    // Printer pages of the document so far (1 after BeginDoc, +1 per NewPage).
    int PageCount() const { return FPage + (FBegun ? 1 : 0); }
    const std::string& Title() const { return FTitle; }

private:
    int FXResolution;
    int FYResolution;
    int FPageWidth;
    int FPageHeight;
    std::string FTitle;
    bool FPrinting = false;
    bool FBegun = false;
    int FPage = 0;
    std::vector<TEvent> FEvents;
};

}  // namespace paxid
