#include "AppTestSupport.h"

#include "foundation/pFileUtils.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/RecordingPrinter.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

// The process's printer as a recording printer, with a print dialog that
// confirms the range it is told to.
class TTestPrinterAccess final : public TPrinterAccess {
public:
    TPrinter* Printer() override { return &Device; }
    bool HasPrinters() const override { return Installed; }
    std::string PrinterName() const override { return "Recorder"; }
    bool Landscape() const override { return false; }
    bool MakesCopies() const override { return true; }
    void SetCopies(int copies) override { Copies = copies; }
    bool ChoosePrintRange(int pageCount, TPrintRange& range) override {
        Offered = range;
        OfferedPageCount = pageCount;
        if (!Answer) {
            return false;
        }
        range = *Answer;
        return true;
    }

    TRecordingPrinter Device{300, 300, 2480, 3508};
    bool Installed = true;
    int Copies = 0;
    std::optional<TPrintRange> Answer;
    TPrintRange Offered;
    int OfferedPageCount = 0;
};

int PagesIn(const std::string& file) {
    TImageFileInfo info;
    return FileInfo(file, 0, info) == kImagingSuccess ? info.TotalPages : -1;
}

class SaveAndPrintTest : public ::testing::Test, public test::TControllerFixture {
protected:
    // Loads the sources and returns the controller.
    TPaxidVW3& Loaded(const std::vector<std::string>& names) {
        TPaxidVW3& controller = Controller();
        controller.LoadSettings();
        for (const std::string& name : names) {
            controller.AddEntry(FFolder / name);
        }
        Load();
        return controller;
    }
};

TEST_F(SaveAndPrintTest, FilterFollowsTheDocument) {
    test::MakeImage(FFolder / "one.tif");
    test::MakeImage(FFolder / "two.tif", 2);
    test::WriteFile(FFolder / "note.txt", "text");
    const struct {
        const char* Name;
        std::vector<std::string> Sources;
        const char* Filter;
        const char* DefaultExt;
    } cases[] = {
        {"one image page", {"one.tif"},
         "Tiff files|*.tif;*.tiff|JBIG files|*.jbg;*.jbig|JPEG files|*.jpg;*.jpeg|BMP files|*.bmp|"
         "PaxidCab|*.paxidcab|PDF files|*.pdf|All files|*.*|",
         "tif"},
        {"two image pages", {"two.tif"}, "Tiff files|*.tif;*.tiff|PaxidCab|*.paxidcab|PDF files|*.pdf|All files|*.*|", "tif"},
        {"a text page", {"one.tif", "note.txt"}, "PaxidCab|*.paxidcab|PDF files|*.pdf|All files|*.*|", "PaxidCab"},
        {"empty document", {}, "All files|*.*|", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TSaveFilter filter = Loaded(c.Sources).BuildSaveFilter();
        EXPECT_EQ(filter.Filter, c.Filter);
        EXPECT_EQ(filter.DefaultExt, c.DefaultExt);
    }
}

TEST_F(SaveAndPrintTest, SaveFileExWritesTheRangeForTiffAndEveryPageForPdf) {
    test::MakeImage(FFolder / "five.tif", 5);
    TPaxidVW3& controller = Loaded({"five.tif"});
    controller.SaveFileEx(FFolder / "part.tif", 2, 3);
    EXPECT_EQ(PagesIn(FFolder / "part.tif"), 2);
    controller.SaveFileEx(FFolder / "all.pdf", 2, 3);
    EXPECT_EQ(PagesIn(FFolder / "all.pdf"), 5);
    controller.SaveFileEx(FFolder / "part.tif", 0, 0);
    EXPECT_EQ(PagesIn(FFolder / "part.tif"), 7) << "pages are appended to an existing file";
    controller.SaveFileEx(FFolder / "one.jpg", 0, 0);
    EXPECT_GT(FileSizeOf(FFolder / "one.jpg"), 0);
    EXPECT_TRUE(FMessages.Messages.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FFolder.Path()), {}), 7)
        << "three folders of the fixture, the source and three saved files; no work file is left beside the saved ones";
}

TEST_F(SaveAndPrintTest, MixedDocumentAsTiffHoldsOnlyItsImagePages) {
    test::MakeImage(FFolder / "two.tif", 2);
    test::WriteFile(FFolder / "note.txt", "text");
    TPaxidVW3& controller = Loaded({"two.tif", "note.txt"});
    controller.SaveFileEx(FFolder / "out.TIF", 0, 0);
    EXPECT_EQ(PagesIn(FFolder / "out.TIF"), 2);
    controller.SaveFileEx(FFolder / "out.paxidcab", 0, 0);
    EXPECT_GT(FileSizeOf(FFolder / "out.paxidcab"), 0);
}

TEST_F(SaveAndPrintTest, OtherExtensionsAreNotSupported) {
    test::MakeImage(FFolder / "one.tif");
    TPaxidVW3& controller = Loaded({"one.tif"});
    controller.SaveFileEx(FFolder / "out.docx", 0, 0);
    ASSERT_EQ(FMessages.Messages.size(), 1u);
    EXPECT_EQ(FMessages.Messages[0].Text, "Not supported");
    EXPECT_EQ(FMessages.Messages[0].Caption, "Paxid Viewer");
    EXPECT_EQ(FMessages.Messages[0].Icon, TMessageIcon::Warning);
    EXPECT_FALSE(std::filesystem::exists(FFolder / "out.docx"));
}

TEST_F(SaveAndPrintTest, AFileThatCannotTakeThePagesIsLeftAsItWas) {
    test::MakeImage(FFolder / "one.tif");
    test::WriteFile(FFolder / "precious.tif", "this is not a TIFF file at all");
    TPaxidVW3& controller = Loaded({"one.tif"});
    controller.SaveFileEx(FFolder / "precious.tif", 0, 0);
    EXPECT_EQ(test::ReadFile(FFolder / "precious.tif"), "this is not a TIFF file at all");
    controller.SaveFileEx(FFolder / "no-such-folder/out.tif", 0, 0);
    EXPECT_FALSE(std::filesystem::exists(FFolder / "no-such-folder"));
}

TEST_F(SaveAndPrintTest, SavePageCopiesAPageOutsideTheImageViewAndKeepsItsExtension) {
    test::WriteFile(FFolder / "note.txt", "text of the page");
    TPaxidVW3& controller = Loaded({"note.txt"});
    controller.SavePage(FFolder / "copy");
    EXPECT_EQ(test::ReadFile(FFolder / "copy.txt"), "text of the page");
    test::WriteFile(FFolder / "existing.txt", "old");
    controller.SavePage(FFolder / "existing.txt");
    EXPECT_EQ(test::ReadFile(FFolder / "existing.txt"), "text of the page");
}

TEST_F(SaveAndPrintTest, PrintSendsTheImagePagesAndWarnsAboutTheOthers) {
    test::MakeImage(FFolder / "two.tif", 2);
    test::WriteFile(FFolder / "note.txt", "text");
    TPaxidVW3& controller = Loaded({"two.tif", "note.txt"});
    TTestPrinterAccess printer;
    controller.SetPrinterAccess(&printer);
    controller.Print();
    EXPECT_EQ(printer.Device.Title(), "Paxid Document");
    EXPECT_EQ(printer.Device.Draws().size(), 2u);
    EXPECT_EQ(printer.Device.PageCount(), 2);
    EXPECT_FALSE(printer.Device.Printing());
    ASSERT_EQ(FMessages.Messages.size(), 1u);
    EXPECT_EQ(FMessages.Messages[0].Text, "Untranslated\r\n") << "no language file is loaded";
    EXPECT_EQ(FMessages.Messages[0].Icon, TMessageIcon::Warning);
}

TEST_F(SaveAndPrintTest, PrintInRangeSkipsOtherPagesAndLeavesCopiesToThePrinter) {
    test::MakeImage(FFolder / "two.tif", 2);
    test::WriteFile(FFolder / "page.html", "<p>web</p>");
    test::MakeImage(FFolder / "last.png");
    TPaxidVW3& controller = Loaded({"two.tif", "page.html", "last.png"});
    TTestPrinterAccess printer;
    printer.Answer = TPrintRange{2, 4, 3};
    controller.SetPrinterAccess(&printer);
    controller.PrintInRange();
    EXPECT_EQ(printer.OfferedPageCount, 4);
    EXPECT_EQ(printer.Offered.FromPage, 1);
    EXPECT_EQ(printer.Offered.ToPage, 4);
    EXPECT_EQ(printer.Device.Draws().size(), 2u) << "pages 2 and 4, each once";
    EXPECT_EQ(printer.Copies, 3);
    ASSERT_EQ(FMessages.Messages.size(), 1u);
    EXPECT_EQ(TSettingsStore::User().ReadString("Settings", "CurrentPrinter"), "Recorder");
    EXPECT_EQ(TSettingsStore::User().ReadString("Settings", "PrinterOrientation"), "Portrait");

    printer.Answer.reset();
    controller.PrintInRange();
    EXPECT_EQ(printer.Offered.FromPage, 2) << "the last range is offered again";
    EXPECT_EQ(printer.Offered.Copies, 3);
    EXPECT_EQ(printer.Device.Draws().size(), 2u) << "cancelled";
}

TEST_F(SaveAndPrintTest, BusyOrMissingPrinterPrintsNothing) {
    test::MakeImage(FFolder / "one.tif");
    TPaxidVW3& controller = Loaded({"one.tif"});
    TTestPrinterAccess printer;
    controller.SetPrinterAccess(&printer);
    printer.Device.BeginDoc();
    controller.Print();
    ASSERT_EQ(FMessages.Messages.size(), 1u);
    EXPECT_EQ(FMessages.Messages[0].Text, "Printer is busy! Please wait and try again.");
    EXPECT_EQ(FMessages.Messages[0].Icon, TMessageIcon::Information);
    EXPECT_TRUE(printer.Device.Draws().empty());
    printer.Device.EndDoc();
    printer.Installed = false;
    controller.Print();
    EXPECT_TRUE(printer.Device.Draws().empty());
    EXPECT_EQ(FMessages.Messages.size(), 1u);
}

}  // namespace
}  // namespace paxid

namespace paxid {
namespace {

TEST_F(SaveAndPrintTest, SaveDialogNeedsAWindowAndNoRunningOperation) {
    test::MakeImage(FFolder / "one.tif");
    TPaxidVW3& controller = Loaded({"one.tif"});
    EXPECT_EQ(controller.GetSaveFileName(""), "") << "no window, no dialog";
    test::TRecordingWindow window;
    window.SaveName = FFolder / "chosen.tif";
    controller.CreateMainForm(&window);
    EXPECT_EQ(controller.GetSaveFileName(""), FFolder / "chosen.tif");
    EXPECT_EQ(window.LastFilter.substr(0, 24), "Tiff files|*.tif;*.tiff|");
    EXPECT_EQ(window.LastDefaultExt, "tif");
    controller.GetSaveFileName("PaxidCab|*.paxidcab|All files|*.*|");
    EXPECT_EQ(window.LastFilter, "PaxidCab|*.paxidcab|All files|*.*|");
    EXPECT_EQ(window.LastDefaultExt, "tif") << "a given filter keeps the earlier default extension";
    window.Busy = true;
    window.LastFilter.clear();
    EXPECT_EQ(controller.GetSaveFileName(""), "");
    EXPECT_EQ(window.LastFilter, "");

    window.View.ImageViewCurrent = true;
    controller.SavePage(FFolder / "page");
    EXPECT_EQ(window.ImageViewSaves, std::vector<std::string>{FFolder / "page.tif"});
    EXPECT_EQ(controller.BuildPageSaveFilter().Filter, "Tiff Images|*.tif;*.tiff|All files|*.*");
    controller.DestroyMainForm({});
}

TEST_F(SaveAndPrintTest, PageSaveFilterOfAnotherPageNamesItsExtension) {
    test::WriteFile(FFolder / "note.txt", "text");
    TPaxidVW3& controller = Loaded({"note.txt"});
    const TSaveFilter filter = controller.BuildPageSaveFilter();
    EXPECT_EQ(filter.Filter, ".txt|.txt|All files|*.*");
    EXPECT_EQ(filter.DefaultExt, "");
    EXPECT_EQ(Loaded({}).BuildPageSaveFilter().Filter, "");
}

}  // namespace
}  // namespace paxid
