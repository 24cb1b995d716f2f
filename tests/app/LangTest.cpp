#include "AppTestSupport.h"

#include "app/pLang.h"

#include <gtest/gtest.h>

#include <set>

namespace paxid {
namespace {

// A widget as the translator sees it.
class TFakeComponent final : public TLangComponent {
public:
    TFakeComponent(std::string name, bool hasCaption, bool isToolButton = false, bool isForm = false)
        : Name(std::move(name)), CaptionPublished(hasCaption), ToolButton(isToolButton), Form(isForm) {}

    std::string ComponentName() const override { return Name; }
    bool HasCaption() const override { return CaptionPublished; }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    bool HasHint() const override { return CaptionPublished; }
    void SetHint(const std::string& hint) override { Hint = hint; }
    bool IsToolButton() const override { return ToolButton; }
    bool IsForm() const override { return Form; }
    std::vector<TLangComponent*> OwnedComponents() override {
        std::vector<TLangComponent*> owned;
        for (auto& child : Children) {
            owned.push_back(child.get());
        }
        return owned;
    }
    TFakeComponent& Add(std::string name, bool hasCaption, bool isToolButton = false) {
        Children.push_back(std::make_unique<TFakeComponent>(std::move(name), hasCaption, isToolButton));
        return *Children.back();
    }

    std::string Name;
    bool CaptionPublished;
    bool ToolButton;
    bool Form;
    std::string Caption = "design";
    std::string Hint = "design";
    std::vector<std::unique_ptr<TFakeComponent>> Children;
};

class LangTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = FFolder / name;
        test::WriteFile(path, text);
        return path;
    }
    test::TScratchFolder FFolder;
};

TEST_F(LangTest, TranslateReadsMessagesByKey) {
    TLang lang;
    lang.LoadFromFile(Write("x.lng", "[project_messages]\r\nTwo=first%0d%0asecond\r\nUpper=a%0D%0Ab\r\n"
                                     "ThumbCaption=\r\n  Spaced =  value  \r\n[Other]\r\nOnlyHere=x\r\n"));
    const struct {
        const char* Key;
        const char* Expected;
    } cases[] = {
        {"Two", "first\r\nsecond"},       // the break in lower case
        {"upper", "a\r\nb"},              // keys without regard to case
        {"ThumbCaption", ""},             // present but empty
        {"Missing", "Untranslated"},      // missing key
        {"OnlyHere", "Untranslated"},     // only messages count
        {"Spaced", "value"},              // keys and values trimmed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        EXPECT_EQ(lang.Translate(c.Key), c.Expected);
    }
}

TEST_F(LangTest, WithoutAFileEverythingIsUntranslatedAndCaptionsStay) {
    TLang lang;
    lang.LoadFromFile(FFolder / "missing.lng");
    EXPECT_FALSE(lang.Loaded());
    EXPECT_EQ(lang.FileName(), "");
    EXPECT_EQ(lang.Translate("ErrPrint"), "Untranslated");
    TFakeComponent form("fMain", true, false, true);
    form.Add("miOpen", true);
    lang.TranslateComponent(form);
    EXPECT_EQ(form.Caption, "design");
    EXPECT_EQ(form.Children[0]->Caption, "design");
}

TEST_F(LangTest, LoadingAMissingFileKeepsThePreviousOne) {
    TLang lang;
    const std::string path = Write("a.lng", "[Project_Messages]\nKey=A\n");
    lang.LoadFromFile(path);
    lang.LoadFromFile(FFolder / "gone.lng");
    EXPECT_EQ(lang.FileName(), path);
    EXPECT_EQ(lang.Translate("Key"), "A");
    lang.LoadFromFile(Write("b.lng", "[Project_Messages]\nOther=B\n"));
    EXPECT_EQ(lang.Translate("Key"), "Untranslated") << "a new file replaces the contents completely";
}

TEST_F(LangTest, TranslateComponentSetsCaptionsHintsAndTheFormCaption) {
    TLang lang;
    lang.LoadFromFile(Write("x.lng", "[fMain]\nfMain=Own name\nCaption=Window title\nmiOpen=Open it\n"
                                     "tbNext=Next page\nEdit1=never\nmiEmpty=\n"
                                     "[ImageView]\ntbZoomIn=Zoom\n"));
    TFakeComponent form("fMain", true, false, true);
    TFakeComponent& item = form.Add("miOpen", true);
    TFakeComponent& button = form.Add("tbNext", true, true);
    TFakeComponent& edit = form.Add("Edit1", false);
    TFakeComponent& empty = form.Add("miEmpty", true);
    lang.TranslateComponent(form);
    EXPECT_EQ(form.Caption, "Window title") << "the Caption entry comes last for a form";
    EXPECT_EQ(item.Caption, "Open it");
    EXPECT_EQ(item.Hint, "Open it");
    EXPECT_EQ(button.Caption, "design") << "tool buttons get only the hint";
    EXPECT_EQ(button.Hint, "Next page");
    EXPECT_EQ(edit.Caption, "design");
    EXPECT_EQ(empty.Caption, "design");

    TFakeComponent frame("ImageView_1", true);
    TFakeComponent& zoom = frame.Add("tbZoomIn", true, true);
    lang.TranslateComponent(frame);
    EXPECT_EQ(zoom.Hint, "Zoom") << "ImageView_1 reads the section ImageView";
    EXPECT_EQ(frame.Caption, "design") << "a frame takes no Caption entry";
}

TEST_F(LangTest, FilesThatAreNotUtf8AreReadAsWindows1250) {
    TLang lang;
    lang.LoadFromFile(Write("x.lng", "[Project_Messages]\nWord=\x8A\xE8\n"));
    EXPECT_EQ(lang.Translate("Word"), "\xC5\xA0\xC4\x8D");  // Š č
}

TEST_F(LangTest, ShippedLanguagesHoldEveryMessageKeyAndTheWindowCaptions) {
    const char* keys[] = {"Help", "ErrMail", "RANGENOTSPECIFIED", "ErrPrint", "PrintFitToPage",
                          "ThumbCaption", "SelectFolder", "CannotFind", "ReadOnly"};
    for (const char* file : {"ENG.lng", "SLO.lng"}) {
        SCOPED_TRACE(file);
        const std::string path = std::string(PAXID_SOURCE_DIR) + "/data/lang/" + file;
        TLang lang;
        lang.LoadFromFile(path);
        ASSERT_TRUE(lang.Loaded());
        for (const char* key : keys) {
            SCOPED_TRACE(key);
            const std::string text = lang.Translate(key);
            EXPECT_NE(text, "Untranslated");
            EXPECT_FALSE(text.empty());
        }
        const TLanguageFileInfo info = ReadLanguageFileInfo(path);
        EXPECT_FALSE(info.Language.empty());
        EXPECT_FALSE(info.ID.empty());
    }
    TLang english;
    english.LoadFromFile(std::string(PAXID_SOURCE_DIR) + "/data/lang/ENG.lng");
    EXPECT_EQ(english.Translate("ThumbCaption"), "Page %d of %d");
    TFakeComponent form("fMain", true, false, true);
    for (const char* name : {"miOpen", "miSave", "miPrintInRange", "popiSaveCAB", "miViewFullscreen", "tsWeb"}) {
        form.Add(name, true);
    }
    english.TranslateComponent(form);
    EXPECT_EQ(form.Caption, "Paxid Viewer");
    const char* expected[] = {"Open", "Save as...", "Print in range", "Save Cabinet File", "Full screen", "Web"};
    for (std::size_t i = 0; i < form.Children.size(); ++i) {
        EXPECT_EQ(form.Children[i]->Caption, expected[i]);
    }
}

class LanguageChoiceTest : public ::testing::Test {
protected:
    LanguageChoiceTest() : FProgram("PAXID_PROGRAM_DIR", FFolder / "program") {
        std::filesystem::create_directories(FFolder / "program/lang");
        test::WriteFile(FFolder / "program/lang/ENG.lng", "[General]\nLanguage=English\nID=1033\n");
        test::WriteFile(FFolder / "program/SLO.lng", "[General]\nLanguage=Slovenian\nID=1060\n");
        test::WriteFile(FFolder / "program/lang/DEU.lng", "[General]\nLanguage=German\nID=1031\n");
    }
    std::vector<TLanguageFileInfo> Infos() {
        std::vector<TLanguageFileInfo> infos;
        for (const std::string& path : LanguageFiles()) {
            infos.push_back(ReadLanguageFileInfo(path));
        }
        return infos;
    }
    test::TScratchFolder FFolder;
    test::TScopedEnv FProgram;
};

TEST_F(LanguageChoiceTest, ChoosesTheStoredFileThenTheLocaleThenEnglish) {
    ASSERT_EQ(Infos().size(), 3u);
    const std::string program = FFolder / "program/";
    const struct {
        const char* Name;
        std::string Stored;
        const char* Locale;
        std::string Expected;
    } cases[] = {
        {"stored value wins", "SLO.lng", "1031", program + "SLO.lng"},
        {"a folder part is dropped", "/elsewhere/lang/DEU.lng", "1033", program + "lang/DEU.lng"},
        {"locale default", "", "1060", program + "SLO.lng"},
        {"English otherwise", "", "9999", program + "lang/ENG.lng"},
        {"a stored file that does not exist loads nothing", "XYZ.lng", "1060", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(ChooseLanguageFile(c.Stored, Infos(), c.Locale), c.Expected);
    }
}

}  // namespace
}  // namespace paxid
