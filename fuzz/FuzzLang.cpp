// Language files on hostile bytes: loading, messages, window captions and the
// file's name and locale never fail, and every text applied comes from the file.
#include "FuzzSupport.h"
#include "app/pLang.h"

#include <vector>

namespace {

// A window with a frame, a tool button and an edit, as the GUI offers them.
class TProbeComponent : public paxid::TLangComponent {
public:
    TProbeComponent(std::string name, bool caption, bool hint, bool toolButton, bool form)
        : FName(std::move(name)), FCaption(caption), FHint(hint), FToolButton(toolButton), FForm(form) {}

    std::string ComponentName() const override { return FName; }
    bool HasCaption() const override { return FCaption; }
    void SetCaption(const std::string& caption) override { Check(caption); }
    bool HasHint() const override { return FHint; }
    void SetHint(const std::string& hint) override { Check(hint); }
    bool IsToolButton() const override { return FToolButton; }
    bool IsForm() const override { return FForm; }
    std::vector<TLangComponent*> OwnedComponents() override { return Owned; }

    std::vector<TLangComponent*> Owned;

private:
    static void Check(const std::string& text) {
        // A caption is never empty: an empty entry keeps the design-time text.
        if (text.empty()) {
            __builtin_trap();
        }
    }
    std::string FName;
    bool FCaption, FHint, FToolButton, FForm;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = paxid::fuzz::ScratchFolder() + "/fuzz.lng";
    paxid::fuzz::WriteBytes(path, data, size);

    paxid::TLang lang;
    lang.LoadFromFile(path);
    for (const char* key : {"Help", "ErrMail", "ThumbCaption", "", "Missing"}) {
        (void)lang.Translate(key);
    }
    TProbeComponent window("fMain", true, false, false, true);
    TProbeComponent frame("frThumbs_1", true, true, false, false);
    TProbeComponent button("tbOpen", true, true, true, false);
    TProbeComponent edit("edPage", false, false, false, false);
    window.Owned = {&frame, &button, &edit, nullptr};
    frame.Owned = {&button};
    lang.TranslateComponent(window);
    lang.TranslateComponent(frame);

    const paxid::TLanguageFileInfo info = paxid::ReadLanguageFileInfo(path);
    (void)paxid::ChooseLanguageFile(info.ID, {info}, info.ID);
    return 0;
}
