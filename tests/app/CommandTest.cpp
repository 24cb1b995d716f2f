#include "AppTestSupport.h"

#include "app/pCommands.h"
#include "app/pUpdateControls.h"
#include "foundation/pLog.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace paxid {
namespace {

bool Logged(const std::string& line) {
    const std::vector<std::string> lines = LogLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(line); });
}

TEST(CommandParseTest, ReadsEveryKindOfCommand) {
    using K = TCommand::TKind;
    const struct {
        const char* Text;
        K Kind;
        const char* Argument;
    } cases[] = {
        {"-beep", K::Beep, ""},
        {"/BeEp", K::Beep, ""},
        {"-msg\"Hello_big_world\"", K::Message, "Hello big world"},
        {"-msgHello", K::Unknown, "msgHello"},
        {"-msg x\"y\"", K::Unknown, "msg x\"y\""},
        {"-lock_save", K::Lock, "save"},
        {"/lock print", K::Lock, "print"},
        {"-lockopen", K::Lock, "pen"},
        {"-lock", K::Lock, ""},
        {"-LOCK save", K::Unknown, "LOCK save"},
        {"-unlock open", K::Unlock, "open"},
        {"-next", K::Next, ""},
        {"-nextpage", K::Next, ""},
        {"-previous", K::Prev, ""},
        {"-prev", K::Prev, ""},
        {"-frobnicate", K::Unknown, "frobnicate"},
        {"lock save", K::Invalid, "lock save"},
        {"", K::Invalid, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const TCommand command = ParseCommand(c.Text);
        EXPECT_EQ(command.Kind, c.Kind);
        EXPECT_EQ(command.Argument, c.Argument);
    }
}

TEST(CommandParseTest, EveryCommandWordNamesItsFlag) {
    const struct {
        const char* Word;
        bool TUIFlags::*Flag;
    } cases[] = {
        {"open", &TUIFlags::FUIOpenEnabled},       {"SAVE", &TUIFlags::FUISaveEnabled},
        {"print", &TUIFlags::FUIPrintEnabled},     {"EMail", &TUIFlags::FUIEMailEnabled},
        {"clipboard", &TUIFlags::FUIClipboardEnabled}, {"navigation", &TUIFlags::FUINavigationEnabled},
        {"view", &TUIFlags::FUIViewEnabled},       {"imgproc", &TUIFlags::FUIImgProcEnabled},
        {"ocr", &TUIFlags::FUIOCREnabled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Word);
        TUIFlags flags;
        EXPECT_EQ(FlagOfCommandWord(flags, c.Word), &(flags.*c.Flag));
    }
    TUIFlags flags;
    EXPECT_EQ(FlagOfCommandWord(flags, "readonly"), nullptr);
    EXPECT_EQ(FlagOfCommandWord(flags, ""), nullptr);
}

class ExecuteCommandTest : public ::testing::Test, public test::TControllerFixture {};

TEST_F(ExecuteCommandTest, LocksUnlocksBeepsAndShowsMessages) {
    TPaxidVW3& controller = Controller();
    controller.ExecuteCommand("-lock_save");
    controller.ExecuteCommand("/lock PRINT");
    EXPECT_FALSE(controller.Flags.FUISaveEnabled);
    EXPECT_FALSE(controller.Flags.FUIPrintEnabled);
    controller.ExecuteCommand("/unlock save");
    EXPECT_TRUE(controller.Flags.FUISaveEnabled);
    controller.ExecuteCommand("-lockopen");
    EXPECT_TRUE(controller.Flags.FUIOpenEnabled) << "without a separator the word loses its first letter";
    controller.ExecuteCommand("-LOCK open");
    EXPECT_TRUE(controller.Flags.FUIOpenEnabled);
    EXPECT_TRUE(Logged("Unknown command: LOCK open"));
    controller.ExecuteCommand("lock open");
    EXPECT_TRUE(Logged("Invalid command: lock open"));

    controller.ExecuteCommand("-beep");
    ASSERT_EQ(FMessages.Beeps.size(), 1u);
    EXPECT_EQ(FMessages.Beeps[0], std::make_pair(440, 100));
    controller.ExecuteCommand("-msg\"Saved_at_noon\"");
    ASSERT_EQ(FMessages.Messages.size(), 1u);
    EXPECT_EQ(FMessages.Messages[0].Caption, "Paxid");
    EXPECT_EQ(FMessages.Messages[0].Text, "Saved at noon");
    EXPECT_EQ(FMessages.Messages[0].Icon, TMessageIcon::Information);
}

TEST_F(ExecuteCommandTest, NextAndPrevPageThroughTheDocument) {
    test::MakeImage(FFolder / "three.tif", 3);
    TPaxidVW3& controller = Controller();
    controller.AddEntry(FFolder / "three.tif");
    Load();
    TPageRoot& root = controller.PageRoot();
    ASSERT_EQ(root.ContentCount(), 3);
    EXPECT_EQ(root.CurrentContentIndex, 0);
    controller.ExecuteCommand("-next");
    controller.ExecuteCommand("-nextplease");
    EXPECT_EQ(root.CurrentContentIndex, 2);
    controller.ExecuteCommand("-next");
    EXPECT_EQ(root.CurrentContentIndex, 2) << "no page after the last";
    controller.ExecuteCommand("-previous");
    EXPECT_EQ(root.CurrentContentIndex, 1);
}

TEST_F(ExecuteCommandTest, CommandsOfACollectionListActWhenTheirLevelIsExpanded) {
    test::MakeImage(FFolder / "a.png");
    test::WriteFile(FFolder / "list.paxid", "-lock print\r\n" + (FFolder / "a.png") + "\r\n");
    TPaxidVW3& controller = Controller();
    std::vector<std::string> received;
    controller.OnCommandReceived = [&received](const std::string& text) { received.push_back(text); };
    controller.AddEntry(FFolder / "list.paxid");
    Load();
    EXPECT_FALSE(controller.Flags.FUIPrintEnabled);
    EXPECT_EQ(received, std::vector<std::string>{"-lock print"});
}

// One row of the enabled-state table: the inputs it changes from an empty
// controller, and the controls it expects enabled and disabled.
struct TControlsCase {
    const char* Name;
    void (*Setup)(TControlInputs&);
    std::vector<const char*> EnabledControls;
    std::vector<const char*> DisabledControls;
};

void Document(TControlInputs& in, int pages, int current) {
    in.ContentCount = pages;
    in.ImageContentCount = pages;
    in.CurrentContentIndex = current;
    in.IsFirstContent = current < 1;
    in.IsLastContent = current >= pages - 1;
    in.PrinterAvailable = true;
}

TEST(UpdateControlsTest, EnablesEveryControlByTheTable) {
    const TControlsCase cases[] = {
        {"empty document", [](TControlInputs&) {},
         {"miOpen", "tbOpen", "miNew", "miPageAdd", "miFileScan", "miViewPage", "tbImage"},
         {"miClear", "miSave", "miPrint", "miPrintSetup", "tbStop", "miFirstPage", "miNextPage", "tbFastNext",
          "tbStopTimer", "popiThumbOpen", "miPageProperties", "popiSaveTiff", "miFileEmail", "miImageCopy"}},
        {"first of three pages", [](TControlInputs& in) { Document(in, 3, 0); },
         {"miNextPage", "miLastPage", "tbNext", "tbFastNext", "miPrint", "tbPrint", "miPrintSetup", "miSave",
          "popiSaveTiff", "miPageDelete", "miClear", "miPageProperties", "popiThumbOpen", "miFileEmail"},
         {"miFirstPage", "miPreviousPage", "tbFirst", "tbPrev", "tbStopTimer", "popiSaveChanges",
          "miPagePrintSelection", "miImageCut", "miImagePaste", "miImageProcessing", "miImageFind"}},
        {"last page", [](TControlInputs& in) { Document(in, 3, 2); },
         {"miFirstPage", "miPreviousPage", "tbFirst", "tbPrev"},
         {"miNextPage", "miLastPage", "tbNext", "tbFastNext", "tbStopTimer"}},
        {"timed paging runs", [](TControlInputs& in) { Document(in, 3, 1); in.TimerRunning = true; },
         {"tbStopTimer", "miNextPage"}, {"tbFastNext"}},
        {"navigation locked", [](TControlInputs& in) { Document(in, 3, 1); in.Flags.FUINavigationEnabled = false; },
         {"miPrint"}, {"miFirstPage", "miPreviousPage", "miNextPage", "miLastPage", "tbFastNext", "tbStopTimer"}},
        {"read-only", [](TControlInputs& in) {
             Document(in, 2, 0);
             in.Flags.FReadOnly = true;
             in.Selection = in.ImageLoaded = in.ImageModified = in.ClipboardHasImage = true;
         },
         {"miImageCopy", "tbCopy", "miPrint", "miFileEmail", "miNextPage", "miSave", "miPagePrintSelection",
          "miPageProperties"},
         {"miOpen", "miNew", "tbOpen", "miOpenFolder", "miOpenServer", "popiFile", "popiFolder", "popiServer",
          "miFileSelectScanner", "miClear", "miPageAdd", "miPageDelete", "popiThumbDeletePage", "popiSaveChanges",
          "miImageCut", "tbCut", "miImagePaste", "tbPaste", "miPageCrop", "miFileScan", "popiAcquire"}},
        {"save locked", [](TControlInputs& in) { Document(in, 2, 0); in.Flags.FUISaveEnabled = false; },
         {"miPrint"}, {"miSave", "tbSave", "popiSaveCAB", "miPageSavePage", "miPageDelete", "popiSaveTiff"}},
        {"print locked", [](TControlInputs& in) { Document(in, 2, 0); in.Flags.FUIPrintEnabled = false; },
         {"miSave"}, {"miPrint", "miPrintInRange", "miPagePrint", "tbPrint", "popiPrintDoc", "miPrintSetup"}},
        {"no printer", [](TControlInputs& in) { Document(in, 2, 0); in.PrinterAvailable = false; },
         {"miSave"}, {"miPrint", "miPrintSetup", "popiThumbPrintPage"}},
        {"a text page among images", [](TControlInputs& in) { Document(in, 2, 0); in.ImageContentCount = 1; },
         {"miSave", "popiSaveCAB"}, {"popiSaveTiff"}},
        {"selection on an edited image",
         [](TControlInputs& in) { Document(in, 1, 0); in.Selection = in.ImageLoaded = in.ImageModified = true; },
         {"miPagePrintSelection", "popiPrintSelection", "miImageCut", "miPageCrop", "popiSaveChanges",
          "miImageProcessing", "miImageCopy"},
         {"miImagePaste"}},
        {"clipboard locked", [](TControlInputs& in) {
             Document(in, 1, 0);
             in.Flags.FUIClipboardEnabled = false;
             in.Selection = in.ImageLoaded = in.ClipboardHasImage = true;
         },
         {"miImageProcessing"}, {"miImageCut", "miImageCopy", "miImagePaste", "miPageCrop"}},
        {"text sheet with selected text",
         [](TControlInputs& in) { Document(in, 1, 0); in.ImageContentCount = 0; in.TextSheetShown = in.TextSelected = true; },
         {"miImageFind", "miImageCopy", "tbCopy"}, {"miImageProcessing", "miImageCut"}},
        {"loading", [](TControlInputs& in) { in.IsLoading = true; }, {"tbStop"}, {}},
        {"no scanner", [](TControlInputs& in) { in.Flags.FTwainAvailable = false; }, {"miOpen"}, {"miFileScan", "popiAcquire"}},
        {"open locked", [](TControlInputs& in) { Document(in, 1, 0); in.Flags.FUIOpenEnabled = false; },
         {"popiThumbOpen"}, {"miOpen", "miClear", "miPageProperties", "miFileScan", "miPageAdd"}},
        {"view locked", [](TControlInputs& in) { in.Flags.FUIViewEnabled = false; }, {},
         {"miViewPage", "miViewThumbnails", "miViewPageThumbnails", "miViewCenterImage", "miViewFullscreen", "tbImage",
          "tbThumbnails", "tbImageAndThumbnails"}},
        {"e-mail locked", [](TControlInputs& in) { Document(in, 1, 0); in.Flags.FUIEMailEnabled = false; }, {},
         {"miFileEmail", "miPageEMailPage", "tbEMail", "popiEMailPage", "popiEMailDoc", "popiThumbEMail"}},
        {"image processing locked",
         [](TControlInputs& in) { Document(in, 1, 0); in.ImageLoaded = true; in.Flags.FUIImgProcEnabled = false; },
         {}, {"miImageProcessing"}},
        {"ocr and clear flags change nothing",
         [](TControlInputs& in) { in.Flags.FUIOCREnabled = false; in.Flags.FDisableClear = true; },
         {"miOpen", "miViewPage"}, {}},
    };
    for (const TControlsCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TControlInputs inputs;
        c.Setup(inputs);
        const TControlStates states = ComputeControlStates(inputs);
        for (const char* name : c.EnabledControls) {
            ASSERT_NE(states.Find(name), nullptr) << name;
            EXPECT_TRUE(states.Enabled(name)) << name;
        }
        for (const char* name : c.DisabledControls) {
            ASSERT_NE(states.Find(name), nullptr) << name;
            EXPECT_FALSE(states.Enabled(name)) << name;
        }
    }
}

TEST(UpdateControlsTest, ReadOnlyChangesExactlyTheControlsOfChange) {
    TControlInputs writable;
    Document(writable, 2, 0);
    writable.Selection = writable.ImageLoaded = writable.ImageModified = writable.ClipboardHasImage = true;
    TControlInputs readOnly = writable;
    readOnly.Flags.FReadOnly = true;
    const TControlStates before = ComputeControlStates(writable);
    const TControlStates after = ComputeControlStates(readOnly);
    std::vector<std::string> changed;
    for (const TControlState& state : before.Controls) {
        if (state.Enabled != after.Enabled(state.Name)) {
            changed.push_back(state.Name);
        }
    }
    std::sort(changed.begin(), changed.end());
    std::vector<std::string> expected{"miClear", "miFileScan", "miFileSelectScanner", "miImageCut", "miImagePaste",
                                      "miNew", "miOpen", "miOpenFolder", "miOpenServer", "miPageAdd", "miPageCrop",
                                      "miPageDelete", "popiAcquire", "popiFile", "popiFolder", "popiSaveChanges",
                                      "popiServer", "popiThumbDeletePage", "tbCut", "tbOpen", "tbPaste"};
    EXPECT_EQ(changed, expected);
}

TEST(UpdateControlsTest, PageNumberBoxShowsTheOneBasedCurrentPage) {
    TControlInputs inputs;
    EXPECT_EQ(ComputeControlStates(inputs).PageNumberText, "");
    Document(inputs, 5, 3);
    EXPECT_EQ(ComputeControlStates(inputs).PageNumberText, "4");
}

}  // namespace
}  // namespace paxid
