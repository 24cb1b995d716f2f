#pragma once

#include "app/pPaxidVW3.h"
#include "app/pViewerInterfaces.h"
#include "document/pPageRoot.h"
#include "platform/settings/SettingsStore.h"
#include "platform/thread/MainThread.h"
#include "support/TestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace paxid::test {

// Message boxes and beeps, remembered instead of shown.
class TRecordingMessages final : public TUserMessages {
public:
    struct TMessage {
        std::string Caption;
        std::string Text;
        TMessageIcon Icon;
    };
    void ShowMessage(const std::string& caption, const std::string& text, TMessageIcon icon) override {
        Messages.push_back({caption, text, icon});
    }
    void Beep(int frequencyHz, int durationMs) override { Beeps.push_back({frequencyHz, durationMs}); }

    std::vector<TMessage> Messages;
    std::vector<std::pair<int, int>> Beeps;
};

// A main window that remembers what the controller did to it.
class TRecordingWindow final : public TMainWindow {
public:
    TViewState ViewState() const override { return View; }
    void ApplyControlStates(const TControlStates& states) override {
        Applied = states;
        ++ApplyCount;
    }
    void AddLanguageMenuItem(const std::string& caption) override { LanguageItems.push_back(caption); }
    void Translate(const TLang&) override { ++Translations; }
    void AppendMemoLine(const std::string& line) override { Memo.push_back(line); }
    void SetStatusText(int panel, const std::string& text) override { Status[panel] = text; }
    void SetProgress(long long maximum, long long position) override {
        if (maximum > 0) {
            ProgressMax = maximum;
        }
        ProgressPosition = position;
    }
    void SetThumbnailCount(int count) override { ThumbnailCount = count; }
    void SelectThumbnail(int index, bool) override { Selected.push_back(index); }
    void RepaintThumbnails() override {}
    void ShowPageObject(TPageListObj* page) override { Shown.push_back(page); }
    void ClearView() override { ++Clears; }
    void SetImageHint(const std::string& text) override { Hint = text; }
    void SetImageHintOn(bool on) override { View.ImageHintOn = on; }
    bool BusyCursor() const override { return Busy; }
    void SetBusyCursor(bool busy) override { Busy = busy; }
    std::string ChooseSaveFileName(const std::string& filter, const std::string& defaultExt,
                                   const std::string&) override {
        LastFilter = filter;
        LastDefaultExt = defaultExt;
        return SaveName;
    }
    void SaveImageViewPageAs(const std::string& fileName) override { ImageViewSaves.push_back(fileName); }

    TViewState View;
    TControlStates Applied;
    int ApplyCount = 0;
    int Translations = 0;
    int Clears = 0;
    std::vector<std::string> LanguageItems;
    std::vector<std::string> Memo;
    std::string Status[3];
    long long ProgressMax = 0;
    long long ProgressPosition = 0;
    int ThumbnailCount = -1;
    std::vector<int> Selected;
    std::vector<TPageListObj*> Shown;
    std::string Hint;
    bool Busy = false;
    std::string LastFilter;
    std::string LastDefaultExt;
    std::string SaveName;
    std::vector<std::string> ImageViewSaves;
};

// A controller with its own settings file, temporary folder and program
// folder inside a scratch folder, and no main window.
class TControllerFixture {
public:
    TControllerFixture()
        : FTemp("PAXID_TEMP_DIR", FFolder / "tmp"), FProgram("PAXID_PROGRAM_DIR", FFolder / "program"),
          FConfig("PAXID_CONFIG_DIR", FFolder / "config") {
        std::filesystem::create_directories(FFolder / "tmp");
        std::filesystem::create_directories(FFolder / "program");
        std::filesystem::create_directories(FFolder / "config");
    }

    TPaxidVW3& Controller(std::vector<std::string> commandLine = {"paxidvw"}) {
        FController.reset();
        FController = std::make_unique<TPaxidVW3>(FMainThread, FMessages, FTimer, TSettingsStore::User());
        FController->Initialize(std::move(commandLine));
        return *FController;
    }

    // The pages of the loaded document.
    void Load() { FController->LoadAndWait(); }

    TScratchFolder FFolder;
    TScopedEnv FTemp;
    TScopedEnv FProgram;
    TScopedEnv FConfig;
    TQueueMainThread FMainThread;
    TRecordingMessages FMessages;
    TManualTimer FTimer;
    std::unique_ptr<TPaxidVW3> FController;
};

}  // namespace paxid::test
