#include "platform/imaging/RecordingPrinter.h"

namespace paxid {

TRecordingPrinter::TRecordingPrinter(int xResolution, int yResolution, int pageWidth, int pageHeight)
    : FXResolution(xResolution), FYResolution(yResolution), FPageWidth(pageWidth), FPageHeight(pageHeight) {}

void TRecordingPrinter::BeginDoc() {
    FPrinting = true;
    FBegun = true;
    FPage = 0;
    FEvents.push_back(TEvent{TEventKind::BeginDoc, FPage, {}, {}, {}});
}

void TRecordingPrinter::EndDoc() {
    FPrinting = false;
    FEvents.push_back(TEvent{TEventKind::EndDoc, FPage, {}, {}, {}});
}

void TRecordingPrinter::NewPage() {
    ++FPage;
    FEvents.push_back(TEvent{TEventKind::NewPage, FPage, {}, {}, {}});
}

bool TRecordingPrinter::DrawBitmap(const TBitmap& bitmap, int left, int top, int width, int height) {
    if (bitmap.IsEmpty()) {
        return false;
    }
    TEvent event;
    event.Kind = TEventKind::Draw;
    event.Page = FPage;
    event.Requested = TPrintRect{left, top, width, height};
    event.Placed =
        ResolvePrintRect(bitmap.Width(), bitmap.Height(), left, top, width, height, FPageWidth, FPageHeight);
    event.Bitmap = bitmap;
    FEvents.push_back(std::move(event));
    return true;
}

std::vector<const TRecordingPrinter::TEvent*> TRecordingPrinter::Draws() const {
    std::vector<const TEvent*> draws;
    for (const TEvent& event : FEvents) {
        if (event.Kind == TEventKind::Draw) {
            draws.push_back(&event);
        }
    }
    return draws;
}

}  // namespace paxid
