#include "platform/ocr/OcrEngine.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/LibraryMessages.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <leptonica/allheaders.h>
#include <omp.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace paxid {

namespace {

constexpr std::string_view kSender = "TOcrEngine";
// Resolution assumed for pages that carry none, dots per inch.
constexpr int kDefaultResolution = 300;
// Tesseract recognises a rectangle better with a margin around the ink.
constexpr int kSegmentPadding = 10;

void Log(std::string_view message) { PlatformLog(kSender, message); }

// Tesseract's LSTM runs parallel regions with a fixed thread count; on a
// machine with few cores those threads spin and cost several times the work.
// Serialising every parallel region keeps recognition on the calling thread.
// Process-wide, set once; nothing else in this program uses OpenMP.
void KeepRecognitionSingleThreaded() {
    static std::once_flag once;
    std::call_once(once, [] { omp_set_max_active_levels(0); });
}

struct TTextDeleter {
    void operator()(char* text) const { delete[] text; }
};
using TText = std::unique_ptr<char, TTextDeleter>;

std::string TakeText(char* text) {
    TText owner(text);
    return owner ? std::string(owner.get()) : std::string();
}

TOcrRect ClipToPage(const TOcrRect& rect, int width, int height) {
    TOcrRect clipped;
    clipped.Left = std::clamp(std::min(rect.Left, rect.Right), 0, width);
    clipped.Right = std::clamp(std::max(rect.Left, rect.Right), 0, width);
    clipped.Top = std::clamp(std::min(rect.Top, rect.Bottom), 0, height);
    clipped.Bottom = std::clamp(std::max(rect.Top, rect.Bottom), 0, height);
    return clipped;
}


// Where Tesseract's messages go. Tesseract opens its message file once per
// process, at its first message, and never closes it; so the file is one
// per process too: a deleted temporary file kept open here, named to
// Tesseract through /dev/fd. What it writes is read back from our own
// descriptor and forwarded to the platform log. Safe from any thread.
class TTesseractMessages {
public:
    static TTesseractMessages& Instance() {
        static TTesseractMessages messages;
        return messages;
    }

    // The value for Tesseract's "debug_file"; /dev/null when no file exists.
    const std::string& FileName() const { return FFileName; }

    void Forward() {
        const std::lock_guard lock(FMutex);
        if (FDescriptor < 0) {
            return;
        }
        std::fflush(nullptr);  // Tesseract's stream buffers its lines
        char buffer[4096];
        for (;;) {
            const ssize_t count = ::pread(FDescriptor, buffer, sizeof buffer, FOffset);
            if (count <= 0) {
                break;
            }
            FOffset += count;
            FPending.append(buffer, static_cast<std::size_t>(count));
        }
        std::size_t lineEnd = 0;
        while ((lineEnd = FPending.find('\n')) != std::string::npos) {
            const std::string line = FPending.substr(0, lineEnd);
            FPending.erase(0, lineEnd + 1);
            if (!line.empty()) {
                Log("Tesseract: " + line);
            }
        }
    }

private:
    TTesseractMessages() {
        const char* tempFolder = std::getenv("TMPDIR");
        std::string pattern = std::string(tempFolder && *tempFolder ? tempFolder : "/tmp") + "/paxid-ocr-XXXXXX";
        FDescriptor = ::mkstemp(pattern.data());
        if (FDescriptor >= 0) {
            ::unlink(pattern.c_str());
            FFileName = "/dev/fd/" + std::to_string(FDescriptor);
        } else {
            FFileName = "/dev/null";
        }
    }
    ~TTesseractMessages() {
        if (FDescriptor >= 0) {
            ::close(FDescriptor);
        }
    }

    std::mutex FMutex;
    int FDescriptor = -1;
    off_t FOffset = 0;
    std::string FFileName;
    std::string FPending;
};

void ForwardMessages() { TTesseractMessages::Instance().Forward(); }

}  // namespace

// The engine handle and the page it works on.
struct TOcrEngine::TState {
    std::unique_ptr<tesseract::TessBaseAPI> Api;
    TBitmap Page;
    // Whether the engine's image is Page (not a cut-out of it).
    bool ImageIsPage = false;

    ~TState() {
        Api.reset();
        ForwardMessages();
    }
};

TOcrEngine::TOcrEngine() = default;
TOcrEngine::~TOcrEngine() = default;

std::string NormalizeOcrLanguages(std::string_view languages) {
    std::string result;
    std::string current;
    auto flush = [&] {
        if (!current.empty()) {
            result += (result.empty() ? "" : "+") + current;
            current.clear();
        }
    };
    for (const char c : languages) {
        if (c == '+' || c == ',' || c == ';' || c == ' ' || c == '\t') {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return result.empty() ? "eng" : result;
}

bool TOcrEngine::IsStarted() const { return FState != nullptr; }

bool TOcrEngine::StartUp(std::string_view languages) {
    ShutDown();
    try {
        InstallImagingMessageHandlers();
        KeepRecognitionSingleThreaded();
        auto state = std::make_unique<TState>();
        state->Api = std::make_unique<tesseract::TessBaseAPI>();
        const std::string& messageFile = TTesseractMessages::Instance().FileName();
        // Set before Init so that Init's own complaints are caught too.
        state->Api->SetVariable("debug_file", messageFile.c_str());
        const std::string names = NormalizeOcrLanguages(languages);
        std::vector<std::string> variableNames{"debug_file"};
        std::vector<std::string> variableValues{messageFile};
        const int result = state->Api->Init(nullptr, names.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0,
                                            &variableNames, &variableValues, false);
        ForwardMessages();
        if (result != 0) {
            Log("StartUp: languages \"" + names + "\" not available");
            return false;
        }
        FState = std::move(state);
        return true;
    } catch (const std::exception& error) {
        // Fallback: the engine stays shut down.
        Log(std::string("StartUp: ") + error.what());
        return false;
    }
}

void TOcrEngine::ShutDown() {
    FState.reset();
    FSegments.clear();
    FProcessedTexts.clear();
}

bool TOcrEngine::AddPage(const TBitmap& page) {
    if (!FState || page.IsEmpty()) {
        Log("AddPage: no engine or no page");
        return false;
    }
    try {
        FSegments.clear();
        FProcessedTexts.clear();
        FState->Page = page;
        if (!SetEngineImage(FState->Page)) {
            FState->Page = TBitmap();
            return false;
        }
        FState->ImageIsPage = true;
        ForwardMessages();
        return true;
    } catch (const std::exception& error) {
        // Fallback: no page.
        Log(std::string("AddPage: ") + error.what());
        FState->Page = TBitmap();
        return false;
    }
}

bool TOcrEngine::SegmentPage() {
    if (!FState || FState->Page.IsEmpty()) {
        return false;
    }
    try {
        if (!BeginWholePage()) {
            return false;
        }
        std::unique_ptr<tesseract::PageIterator> blocks(FState->Api->AnalyseLayout());
        ForwardMessages();
        if (!blocks) {
            return true;  // a page without any block
        }
        int id = 0;
        do {
            TOcrSegment segment;
            segment.Id = ++id;
            segment.Type = PTIsTextType(blocks->BlockType()) ? kOcrSegmentText : kOcrSegmentOther;
            if (blocks->BoundingBox(tesseract::RIL_BLOCK, &segment.Rect.Left, &segment.Rect.Top, &segment.Rect.Right,
                                    &segment.Rect.Bottom)) {
                FSegments.push_back(segment);
            }
        } while (blocks->Next(tesseract::RIL_BLOCK));
        return true;
    } catch (const std::exception& error) {
        // Fallback: no segments.
        Log(std::string("SegmentPage: ") + error.what());
        FSegments.clear();
        return false;
    }
}

bool TOcrEngine::ProcessPage() {
    if (!FState || FState->Page.IsEmpty()) {
        return false;
    }
    try {
        if (!BeginWholePage()) {
            return false;
        }
        const int result = FState->Api->Recognize(nullptr);
        ForwardMessages();
        if (result != 0) {
            Log("ProcessPage: recognition failed");
            return false;
        }
        std::unique_ptr<tesseract::ResultIterator> blocks(FState->Api->GetIterator());
        if (!blocks) {
            return true;  // nothing recognised
        }
        int id = 0;
        do {
            TOcrSegment segment;
            segment.Id = ++id;
            segment.Type = PTIsTextType(blocks->BlockType()) ? kOcrSegmentText : kOcrSegmentOther;
            if (!blocks->BoundingBox(tesseract::RIL_BLOCK, &segment.Rect.Left, &segment.Rect.Top, &segment.Rect.Right,
                                     &segment.Rect.Bottom)) {
                continue;
            }
            FSegments.push_back(segment);
            FProcessedTexts.push_back(TakeText(blocks->GetUTF8Text(tesseract::RIL_BLOCK)));
        } while (blocks->Next(tesseract::RIL_BLOCK));
        return true;
    } catch (const std::exception& error) {
        // Fallback: no segments.
        Log(std::string("ProcessPage: ") + error.what());
        FSegments.clear();
        FProcessedTexts.clear();
        return false;
    }
}

bool TOcrEngine::SetSegment(int id, const TOcrRect& rect) {
    if (!FState || FState->Page.IsEmpty()) {
        return false;
    }
    FProcessedTexts.clear();
    FSegments.clear();
    TOcrSegment segment;
    segment.Id = id;
    segment.Type = kOcrSegmentText;
    segment.Rect = ClipToPage(rect, FState->Page.Width(), FState->Page.Height());
    FSegments.push_back(segment);
    return true;
}

bool TOcrEngine::BeginWholePage() {
    FSegments.clear();
    FProcessedTexts.clear();
    if (!FState->ImageIsPage) {
        if (!SetEngineImage(FState->Page)) {
            return false;
        }
        FState->ImageIsPage = true;
    }
    FState->Api->SetPageSegMode(tesseract::PSM_AUTO);
    return true;
}

bool TOcrEngine::SetEngineImage(const TBitmap& image) {
    if (image.IsEmpty()) {
        return false;
    }
    FState->Api->SetImage(image.Get());
    // Tesseract forgets the resolution with every image.
    const int resolution = image.XResolution() >= 70 ? image.XResolution() : kDefaultResolution;
    FState->Api->SetSourceResolution(resolution);
    return true;
}

std::string TOcrEngine::RecognizeSegment(std::size_t index) {
    if (!FState || index >= FSegments.size()) {
        return {};
    }
    if (index < FProcessedTexts.size()) {
        return FProcessedTexts[index];
    }
    try {
        const TOcrSegment& segment = FSegments[index];
        const TOcrRect area =
            ClipToPage({segment.Rect.Left - kSegmentPadding, segment.Rect.Top - kSegmentPadding,
                        segment.Rect.Right + kSegmentPadding, segment.Rect.Bottom + kSegmentPadding},
                       FState->Page.Width(), FState->Page.Height());
        if (area.Right <= area.Left || area.Bottom <= area.Top) {
            return {};
        }
        // The segment is cut out and recognised as a page of its own: the
        // engine's layout analysis inside a rectangle of a larger image can
        // lose lines that it finds in the same pixels alone. A defined segment
        // may hold several columns, so the engine still finds its lines.
        TBitmap cutOut = FState->Page;
        if (!TrimBitmap(cutOut, area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top) ||
            !SetEngineImage(cutOut)) {
            return {};
        }
        FState->Api->SetPageSegMode(tesseract::PSM_AUTO);
        std::string text = TakeText(FState->Api->GetUTF8Text());
        FState->ImageIsPage = false;
        ForwardMessages();
        return text;
    } catch (const std::exception& error) {
        // Fallback: empty text.
        Log(std::string("RecognizeSegment: ") + error.what());
        return {};
    }
}

}  // namespace paxid
