#include "OcrPages.h"

#include "document/pAnnotations.h"
#include "document/pZones.h"
#include "platform/diagnostics/PlatformLog.h"
#include "platform/ocr/OcrEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace paxid {
namespace {

using test::RenderTextPage;
using test::TScratchFolder;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool HasLoneLineFeed(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            return true;
        }
    }
    return false;
}

// Pages rendered once for the whole suite: recognition costs about half a
// second a page.
class OcrTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Folder = std::make_unique<TScratchFolder>();
        // Two columns far apart, six lines each: the layout analysis needs
        // several lines to see columns.
        std::vector<test::TTextDrawing> columns;
        const char* left[] = {"apple bravo", "kilo lima", "mike november", "oscar papa", "quebec romeo",
                              "charlie delta"};
        const char* right[] = {"echo foxtrot", "sierra tango", "uniform victor", "whiskey xray", "yankee zulu",
                               "golf hotel"};
        for (int line = 0; line < 6; ++line) {
            columns.push_back({100, 200 + 110 * line, left[line]});
            columns.push_back({1400, 200 + 110 * line, right[line]});
        }
        TwoColumns = std::make_unique<TBitmap>(RenderTextPage(*Folder, "columns.png", 2480, 1000, columns, 20));
        // Three blocks far from each other.
        ThreeBlocks = std::make_unique<TBitmap>(RenderTextPage(*Folder, "blocks.png", 2000, 1800,
                                                               {{100, 200, "window garden"},
                                                                {1200, 800, "river mountain"},
                                                                {100, 1500, "letter number"}},
                                                               24));
    }
    static void TearDownTestSuite() {
        TwoColumns.reset();
        ThreeBlocks.reset();
        Folder.reset();
    }

    static inline std::unique_ptr<TScratchFolder> Folder;
    static inline std::unique_ptr<TBitmap> TwoColumns;
    static inline std::unique_ptr<TBitmap> ThreeBlocks;
};

TEST_F(OcrTest, AutomaticSegmentationJoinsColumnsWithoutBlankAndUsesCrLf) {
    ASSERT_FALSE(TwoColumns->IsEmpty());
    TAnnContainer annotations;
    TZones zones(*TwoColumns, annotations, "eng");
    const std::string text = Lower(zones.OCR(0, 0, TwoColumns->Width(), TwoColumns->Height(), true));
    SCOPED_TRACE(text);
    for (const char* word : {"apple", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
    EXPECT_NE(text.find("deltaecho"), std::string::npos);
    EXPECT_NE(text.find("bravo\r\nkilo"), std::string::npos);
    EXPECT_FALSE(HasLoneLineFeed(text));
    EXPECT_NE(text.front(), ' ');
    EXPECT_NE(text.back(), '\n');
}

TEST_F(OcrTest, ZoneRecognisesOnlyItsRectangle) {
    ASSERT_FALSE(TwoColumns->IsEmpty());
    TAnnContainer annotations;
    TZones zones(*TwoColumns, annotations, "eng");
    zones.ZoneCreate(1350, 100, 2400, 900, 0);
    const std::string text = Lower(zones.ZoneOCR(0));
    SCOPED_TRACE(text);
    EXPECT_NE(text.find("echo"), std::string::npos);
    EXPECT_NE(text.find("hotel"), std::string::npos);
    EXPECT_EQ(text.find("apple"), std::string::npos);
    EXPECT_EQ(text.find("delta"), std::string::npos);
}

TEST_F(OcrTest, ZonesCreateOCRSegAllMakesOneLightYellowZonePerTextBlock) {
    ASSERT_FALSE(ThreeBlocks->IsEmpty());
    TAnnContainer annotations;
    TZones zones(*ThreeBlocks, annotations, "eng");
    zones.ZonesCreateOCRSegAll(0);
    ASSERT_EQ(zones.ZoneCount(), 3);
    for (const TAnnObject& zone : annotations.Objects()) {
        EXPECT_EQ(zone.FillColor, (TColor{255, 255, 100}));
    }
    // Each zone lies around one of the texts: its rectangle holds the
    // baseline of exactly one drawing.
    const std::string clipboard = Lower(zones.OCRToClipboardText());
    SCOPED_TRACE(clipboard);
    EXPECT_EQ(clipboard.rfind("zone 1: ", 0), 0U);
    for (const char* word : {"window", "river", "letter"}) {
        EXPECT_NE(clipboard.find(word), std::string::npos) << word;
    }
}

TEST_F(OcrTest, SegmentsOfATrimmedRectangleAreOffsetIntoPageCoordinates) {
    ASSERT_FALSE(ThreeBlocks->IsEmpty());
    TAnnContainer annotations;
    TZones zones(*ThreeBlocks, annotations, "eng");
    zones.ZonesCreateOCRSeg(1000, 600, 1000, 500, 0x0000FF);
    ASSERT_EQ(zones.ZoneCount(), 1);
    const TZoneRect rect = zones.ZoneRect(0);
    EXPECT_GE(rect.Left, 1150);
    EXPECT_LE(rect.Top, 800);
    EXPECT_GE(rect.Bottom, 760);
    EXPECT_EQ(annotations.Objects()[0].FillColor, (TColor{255, 0, 0}));
}

TEST(OcrFailureTest, FailuresGiveEmptyText) {
    struct TCase {
        const char* Name;
        TBitmap Page;
        const char* Languages;
    };
    std::vector<TCase> cases;
    cases.push_back({"empty bitmap", TBitmap(), "eng"});
    cases.push_back({"one pixel page", TBitmap::Create(1, 1, 1), "eng"});
    cases.push_back({"missing language data", TBitmap::Create(50, 50, 8), "xxnone"});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TAnnContainer annotations;
        TZones zones(c.Page, annotations, c.Languages);
        EXPECT_EQ(zones.OCR(0, 0, 1, 1, true), "");
        EXPECT_EQ(zones.OCR(-50, -50, 10, 10, false), "");
        zones.ZonesCreateOCRSegAll(0);
        EXPECT_EQ(zones.ZoneCount(), 0);
    }
}

TEST(OcrEngineTest, LanguageSettingsBecomeTesseractNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "eng"}, {"eng", "eng"}, {"eng+slv", "eng+slv"}, {"eng, slv", "eng+slv"}, {" deu ;fra ", "deu+fra"}};
    for (const auto& [setting, expected] : cases) {
        SCOPED_TRACE(setting);
        EXPECT_EQ(NormalizeOcrLanguages(setting), expected);
    }
}

std::vector<std::string>& CapturedLines() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureLine(std::string_view sender, std::string_view message) {
    CapturedLines().push_back(std::string(sender) + ": " + std::string(message));
}

TEST(OcrEngineTest, EngineMessagesGoToTheLog) {
    CapturedLines().clear();
    SetPlatformLogSink(&CaptureLine);
    TOcrEngine engine;
    EXPECT_FALSE(engine.StartUp("xxnone"));
    EXPECT_FALSE(engine.IsStarted());
    SetPlatformLogSink(nullptr);
    bool engineSpoke = false;
    bool failureNamed = false;
    for (const std::string& line : CapturedLines()) {
        engineSpoke = engineSpoke || line.rfind("TOcrEngine: Tesseract: ", 0) == 0;
        failureNamed = failureNamed || line.find("\"xxnone\" not available") != std::string::npos;
    }
    EXPECT_TRUE(engineSpoke);
    EXPECT_TRUE(failureNamed);
}

TEST(OcrEngineTest, NothingWorksBeforeStartUp) {
    TOcrEngine engine;
    EXPECT_FALSE(engine.AddPage(TBitmap::Create(10, 10, 8)));
    EXPECT_FALSE(engine.ProcessPage());
    EXPECT_FALSE(engine.SegmentPage());
    EXPECT_EQ(engine.RecognizeSegment(0), "");
}

}  // namespace
}  // namespace paxid
