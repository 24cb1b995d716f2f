#pragma once

#include "platform/imaging/Bitmap.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

// A rectangle in image pixels of the engine's page: right and bottom are
// exclusive.
struct TOcrRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TOcrRect&, const TOcrRect&) = default;
};

// Segment types: text blocks are the ones callers recognise.
inline constexpr int kOcrSegmentOther = 0;
inline constexpr int kOcrSegmentText = 3;

// One segment of the engine's page.
struct TOcrSegment {
    int Id = 0;
    int Type = kOcrSegmentOther;
    TOcrRect Rect;
};

// The character recognition engine (Tesseract, LSTM models) for one page at
// a time: start up with languages, add a page, segment it automatically or
// define one text segment, enumerate segments and recognise them. One object
// per call of its user; nothing survives ShutDown. Single-threaded: it runs
// recognition on the calling thread only. Every failure is logged (sender
// "TOcrEngine") and reported as false or an empty text; the engine's own
// messages go to the log, never to the terminal.
class TOcrEngine {
public:
    TOcrEngine();
    ~TOcrEngine();
    TOcrEngine(const TOcrEngine&) = delete;
    TOcrEngine& operator=(const TOcrEngine&) = delete;

    // languages: Tesseract names joined by '+', ',' or blanks ("eng+slv");
    // empty means "eng".
    bool StartUp(std::string_view languages);
    void ShutDown();
    bool IsStarted() const;

    // The page to work on (a copy is kept); replaces any earlier page and its
    // segments. Resolution 0 counts as 300 dots per inch.
    bool AddPage(const TBitmap& page);
    // Finds the layout blocks of the page without recognising them.
    bool SegmentPage();
    // Segments and recognises the whole page in one pass; afterwards
    // RecognizeSegment answers from the result without recognising again.
    bool ProcessPage();
    // Replaces the segments by one text segment of the given rectangle
    // (clipped to the page).
    bool SetSegment(int id, const TOcrRect& rect);

    const std::vector<TOcrSegment>& Segments() const { return FSegments; }
    // The UTF-8 text of segment index as the engine gives it (lines end in
    // LF); empty on any failure.
    std::string RecognizeSegment(std::size_t index);

private:
    struct TState;
    // Hands image to the engine with its resolution; the image must outlive
    // its use by the engine.
    bool SetEngineImage(const TBitmap& image);
    // Drops the results of an earlier pass and gives the engine the whole
    // page again (a zone's image may have replaced it), in automatic layout.
    bool BeginWholePage();
    std::unique_ptr<TState> FState;
    std::vector<TOcrSegment> FSegments;
    // Texts of a ProcessPage pass, parallel to FSegments; empty otherwise.
    std::vector<std::string> FProcessedTexts;
};

// The languages of a setting value as Tesseract expects them ("eng+slv"):
// separators '+', ',', ';' and blanks; empty gives "eng".
std::string NormalizeOcrLanguages(std::string_view languages);

}  // namespace paxid
