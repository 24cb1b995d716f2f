#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

// The text a message key yields when no language file holds it.
inline constexpr std::string_view kUntranslated = "Untranslated";

// A window, frame or control as the translator sees it. The GUI adapts its
// widgets to this; the core never sees a widget. Only components that have a
// caption are offered to the translator.
class TLangComponent {
public:
    virtual ~TLangComponent() = default;

    virtual std::string ComponentName() const = 0;
    // Windows and frames have a caption of their own; edits and lists do not.
    virtual bool HasCaption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual bool HasHint() const = 0;
    virtual void SetHint(const std::string& hint) = 0;
    // Tool buttons get only a hint from the language file.
    virtual bool IsToolButton() const = 0;
    // Windows (not frames) also take the section's "Caption" entry.
    virtual bool IsForm() const = 0;
    // The components this one owns, in ownership order; not owning.
    virtual std::vector<TLangComponent*> OwnedComponents() = 0;
};

// The contents of an INI text: sections of key=value lines. Sections and keys
// are compared without regard to case; keys and values are trimmed. The text
// is taken as UTF-8 when it is valid UTF-8, else as Windows-1250.
class TIniText {
public:
    static TIniText Parse(std::string_view bytes);

    bool Empty() const { return FSections.empty(); }
    // nullptr when the section or the key is missing.
    const std::string* Find(std::string_view section, std::string_view key) const;
    std::string Read(std::string_view section, std::string_view key, std::string_view fallback) const;

private:
    struct TLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    std::map<std::string, std::map<std::string, std::string, TLess>, TLess> FSections;
};

// The translator: the program's messages by key and the captions and hints
// of windows, read from one language file (".lng") kept in memory. Main thread.
class TLang {
public:
    // Loads a language file; does nothing when it does not exist or cannot be
    // read, so the previous file stays loaded.
    void LoadFromFile(const std::string& path);
    // The message for key from "Project_Messages", "%0D%0A" (any case) turned
    // into CR LF; "Untranslated" when no file is loaded or the key is missing.
    std::string Translate(std::string_view key) const;
    // Applies the file's captions and hints to component and what it owns.
    void TranslateComponent(TLangComponent& component) const;

    // The path of the loaded file; empty while none is loaded.
    const std::string& FileName() const { return FFileName; }
    bool Loaded() const { return FLoaded; }

private:
    std::string FFileName;
    TIniText FIniFile;
    bool FLoaded = false;
};

// The display name ("General"/"Language") and locale number ("General"/"ID")
// of a language file; empty when it has none or cannot be read.
struct TLanguageFileInfo {
    std::string Path;
    std::string Language;
    std::string ID;
};
TLanguageFileInfo ReadLanguageFileInfo(const std::string& path);

// Every "*.lng" file of the program's data folders (the program folder and
// its "lang" subfolder, then the installed data folder and its "lang"
// subfolder), in the order the file system lists them; a name found in an
// earlier folder hides the same name later.
std::vector<std::string> LanguageFiles();
// The language file of that bare name in those folders; empty when none.
std::string FindLanguageFile(std::string_view fileName);

// The file LangMenuSet loads: the registry value (its file-name part only),
// else the file whose ID equals the user's locale number, else "ENG.lng";
// resolved in the program's data folders, empty when it does not exist.
std::string ChooseLanguageFile(const std::string& registryValue, const std::vector<TLanguageFileInfo>& files,
                               std::string_view userLCID);

}  // namespace paxid
