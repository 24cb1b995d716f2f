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

// Makes an image file with ImageMagick itself (not a stand-in earlier on PATH).
inline void MakeImage(const std::string& path, int pages = 1, const std::string& extra = "") {
    std::string command = "/usr/bin/convert";
    for (int page = 0; page < pages; ++page) {
        command += " -size 120x160 xc:white -fill black -draw 'rectangle 10,10 " + std::to_string(30 + page * 10) +
                   ",40'";
    }
    command += " " + extra + " '" + path + "' 2>/dev/null";
    RunCommand(command);
}

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
