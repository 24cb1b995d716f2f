#include "app/pPaxidVW3.h"

#include "app/pThumbCaption.h"
#include "document/pPageRoot.h"
#include "document/pPageRootThread.h"
#include "foundation/pConversions.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "foundation/pURLUtils.h"
#include "platform/thread/MainThread.h"
#include "retrieval/pDL.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <strings.h>

namespace paxid {

TPaxidVW3* PaxidVW3 = nullptr;

namespace {

constexpr const char* kClassName = "TPaxidVW3";

void Log(const std::string& message) { WriteLog(kClassName, message); }

const char* BoolText(bool value) { return value ? "True" : "False"; }

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool IsSwitch(const std::string& parameter, const char* name) {
    return parameter.size() > 1 && (parameter[0] == '/' || parameter[0] == '-') &&
           ::strcasecmp(parameter.c_str() + 1, name) == 0;
}

}  // namespace

bool IsCommandSource(const std::string& source) {
    if (source.empty()) {
        return false;
    }
    if (source.front() == '-') {
        return true;
    }
    std::error_code error;
    return source.front() == '/' && source.find_first_of("/.", 1) == std::string::npos &&
           !std::filesystem::exists(source, error);
}

void TConsoleMessages::ShowMessage(const std::string& caption, const std::string& text, TMessageIcon) {
    FOut << caption << ": " << text << "\n";
    FOut.flush();
}

void TConsoleMessages::Beep(int, int) {
    FOut << '\a';
    FOut.flush();
}

void TManualTimer::Tick() {
    if (FRunning && OnTick) {
        OnTick();
    }
}

// ---- life cycle -------------------------------------------------------------

TPaxidVW3::TPaxidVW3(TMainThread& mainThread, TUserMessages& messages, TViewerTimer& fastNextTimer,
                     TSettingsStore settings)
    : FMainThread(mainThread), FMessages(messages), FFastNextTimer(fastNextTimer), FSettingsStore(std::move(settings)) {
    Log("Create BEGIN");
    FFastNextTimer.Stop();
    FFastNextTimer.SetInterval(250);
    FFastNextTimer.OnTick = [this] { FastNextTimer(); };
    PaxidVW3 = this;
    Log("Create END");
}

TPaxidVW3::~TPaxidVW3() {
    Log("Destroy BEGIN");
    if (!FFinalized) {
        Finalize();
    }
    FFastNextTimer.OnTick = nullptr;
    if (PaxidVW3 == this) {
        PaxidVW3 = nullptr;
    }
    Log("Destroy END");
}

void TPaxidVW3::Initialize(std::vector<std::string> commandLine) {
    Log("Initialize BEGIN");
    FCommandLine = std::move(commandLine);
    FEmbedded = false;
    for (std::size_t i = 1; i < FCommandLine.size(); ++i) {
        FEmbedded = FEmbedded || IsSwitch(FCommandLine[i], "AUTOMATION") || IsSwitch(FCommandLine[i], "EMBEDDING");
    }
    for (const std::string& parameter : FCommandLine) {
        std::string line = "CmdLineSwitch = " + parameter;
        RedactURLCredentials(line);
        Log(line);
    }
    FPageRoot = std::make_unique<TPageRoot>(FMainThread);
    FPageRoot->MainThreadID = TPageRootThread::CurrentThreadId();
    FPageRoot->OnNewContent = [this](TPageListObj* page) { OnNewContent(page); };
    Log(std::string("Assigned(FPageRoot.OnNewContent) = ") + BoolText(static_cast<bool>(FPageRoot->OnNewContent)));
    FPageRoot->OnCurrentContentChanged = [this](TPageListObj* page) { OnCurrentContentChanged(page); };
    FPageRoot->OnExpandDone = [this] { OnExpandDone(); };
    FPageRoot->OnProgress = [this](const TProgressInfo& progress) { OnProgress(progress); };
    FPageRoot->OnCommand = [this](const std::string& command) { ExecuteCommand(command); };
    FPageRoot->OnMessage = [this](const std::string& caption, const std::string& text) {
        FMessages.ShowMessage(caption, text, TMessageIcon::Warning);
    };
    FFinalized = false;
    Log("Initialize END");
}

void TPaxidVW3::Finalize() {
    Log("Finalize BEGIN");
    FFastNextTimer.Stop();
    FPageRoot.reset();
    FFinalized = true;
    Log("Finalize END");
}

void TPaxidVW3::AppOnException(const std::exception& error) { Log(std::string("AppOnException: ") + error.what()); }

// ---- settings and window ------------------------------------------------------

void TPaxidVW3::LoadSettings() {
    FSettings = ReadViewerSettings(FSettingsStore);
    FLastFileOpen = FSettings.LastFileOpen;
    FJpegQuality = FSettings.JpegQuality;
    FPrintFitToPage = FSettings.PrintFitToPage;
    FPrintFromPage = FPrintToPage = FPrintCopies = -1;
    if (FPageRoot) {
        TDL& downloader = FPageRoot->Downloader();
        downloader.ProxyUser = FSettings.ProxyUser;
        downloader.ProxyPassword = FSettings.ProxyPassword;
        downloader.Limits.StallSeconds = FSettings.DownloadStallTimeout;
        downloader.Limits.MaxBytes = FSettings.MaxDownloadSize;
        FPageRoot->SetThumbWidth(FSettings.ThumbWidth);
        FPageRoot->SetThumbHeight(FSettings.ThumbHeight);
        FPageRoot->SetThumbShowTextLevel(FSettings.CaptionLevel(FEmbedded));
    }
}

void TPaxidVW3::CreateMainForm(TMainWindow* window) {
    Log("CreateMainForm BEGIN");
    Lang = TLang();
    FMainForm = window;
    LangMenuSet();
    if (FMainForm != nullptr) {
        FMainForm->Translate(Lang);
    }
    LoadSettings();
    Flags.FTwainAvailable = true;
    UpdateControls();
    Log("CreateMainForm END");
}

void TPaxidVW3::DestroyMainForm(const TExitSettings& windowPart) {
    Log("DestroyMainForm BEGIN");
    TExitSettings exit = windowPart;
    exit.LastFileOpen = FLastFileOpen;
    exit.LanguageFile = Lang.FileName();
    exit.PrintFitToPage = FPrintFitToPage;
    if (FEmbedded) {
        exit.WindowBounds.reset();
    }
    WriteExitSettings(FSettingsStore, exit);
    if (FMainForm != nullptr) {
        Log("DestroyMainForm ClearView BEFORE");
        FMainForm->ClearView();
        Log("DestroyMainForm ClearView AFTER");
    }
    Log("DestroyMainForm Lang.Free BEFORE");
    Lang = TLang();
    Log("DestroyMainForm Lang.Free AFTER");
    FMainForm = nullptr;
    Log("DestroyMainForm END");
}

void TPaxidVW3::LangMenuSet() {
    Log("LangMenuSet BEGIN");
    std::vector<TLanguageFileInfo> files;
    for (const std::string& path : LanguageFiles()) {
        files.push_back(ReadLanguageFileInfo(path));
        if (!files.back().Language.empty() && FMainForm != nullptr) {
            FMainForm->AddLanguageMenuItem(files.back().Language);
        }
    }
    const std::string stored = FSettingsStore.ReadString("Language", "Language").value_or("");
    const std::string chosen = ChooseLanguageFile(stored, files, UserLCIDText());
    if (!chosen.empty()) {
        Lang.LoadFromFile(chosen);
    }
    Log("LangMenuSet END");
}

void TPaxidVW3::LanguageMenuClick(const std::string& caption) {
    for (const std::string& path : LanguageFiles()) {
        const TLanguageFileInfo info = ReadLanguageFileInfo(path);
        if (!info.Language.empty() && caption.find(info.Language) != std::string::npos) {
            Lang.LoadFromFile(path);
            if (FMainForm != nullptr) {
                FMainForm->Translate(Lang);
            }
            return;
        }
    }
}

// ---- sources -------------------------------------------------------------------

TPageListObj* TPaxidVW3::AddEntry(const std::string& source) {
    if (IsCommandSource(source)) {
        ExecuteCommand(source);
        return nullptr;
    }
    if (!FPageRoot) {
        return nullptr;
    }
    TPageListObj* node = FPageRoot->AddChild();
    node->URLName = source;
    FLastFileOpen = source;
    return node;
}

void TPaxidVW3::AddFolder(const std::string& folder) {
    const std::string withDelimiter = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::string last;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(withDelimiter, error)) {
        std::error_code typeError;
        if (entry.is_regular_file(typeError)) {
            last = entry.path().filename().string();
            AddEntry(withDelimiter + last);
        }
    }
    if (error) {
        Log("AddFolder cannot list " + withDelimiter + ": " + error.message());
    }
    FLastFileOpen = withDelimiter + last;
}

bool TPaxidVW3::OpenCommandLine() {
    if (FPageRoot) {
        FPageRoot->Clear();
    }
    std::string accumulated;
    bool added = false;
    for (std::size_t i = 1; i < FCommandLine.size(); ++i) {
        accumulated = Trim(accumulated + " " + FCommandLine[i]);
        if (IsCommandSource(accumulated)) {
            AddEntry(accumulated);
            accumulated.clear();
            continue;
        }
        const std::size_t selector = accumulated.find(';');
        const std::string path = accumulated.substr(0, selector);
        if (FileExists(path)) {
            const std::string resolved = ResolveShellPath(path);
            AddEntry((resolved.empty() ? path : resolved) +
                     (selector == std::string::npos ? std::string() : accumulated.substr(selector)));
            accumulated.clear();
            added = true;
        } else if (path.find("://") != std::string::npos) {
            AddEntry(path);
            accumulated.clear();
            added = true;
        }
    }
    return added;
}

int TPaxidVW3::OnDrop(const std::vector<std::string>& names) {
    if (!FPageRoot) {
        return 0;
    }
    FPageRoot->Clear();
    if (FMainForm != nullptr) {
        FMainForm->ClearView();
    }
    for (const std::string& name : names) {
        std::error_code error;
        if (FileExists(name)) {
            AddEntry(name);
        } else if (std::filesystem::is_directory(name, error)) {
            AddFolder(name);
        }
    }
    FPageRoot->StartAllLevelsExpandThread();
    return 0;
}

bool TPaxidVW3::ClearDocument() { return FPageRoot && FPageRoot->Clear(); }

void TPaxidVW3::LoadAndWait() {
    if (!FPageRoot) {
        return;
    }
    TPageRoot& root = *FPageRoot;
    root.StartAllLevelsExpandThread();
    FMainThread.WaitUntil([&root] { return root.FPageRootThread == nullptr || root.FPageRootThread->Finished(); });
    root.StopAllLevelsExpandThread();
}

// ---- commands and controls -------------------------------------------------------

void TPaxidVW3::ExecuteCommand(const std::string& text) {
    if (OnCommandReceived) {
        OnCommandReceived(text);
    }
    if (FMainForm != nullptr) {
        FMainForm->AppendMemoLine("Cmd: " + text);
    }
    const TCommand command = ParseCommand(text);
    switch (command.Kind) {
        case TCommand::TKind::Invalid:
            Log("Invalid command: " + text);
            break;
        case TCommand::TKind::Beep:
            FMessages.Beep(440, 100);
            break;
        case TCommand::TKind::Message:
            FMessages.ShowMessage("Paxid", command.Argument, TMessageIcon::Information);
            break;
        case TCommand::TKind::Lock:
        case TCommand::TKind::Unlock:
            if (bool* flag = FlagOfCommandWord(Flags, command.Argument)) {
                *flag = command.Kind == TCommand::TKind::Unlock;
            }
            UpdateControls();
            break;
        case TCommand::TKind::Next:
            if (FPageRoot) {
                FPageRoot->NextContent();
            }
            break;
        case TCommand::TKind::Prev:
            if (FPageRoot) {
                FPageRoot->PrevContent();
            }
            break;
        case TCommand::TKind::Unknown:
            Log("Unknown command: " + command.Argument);
            break;
    }
}

TControlStates TPaxidVW3::ControlStates() {
    TControlInputs inputs;
    inputs.Flags = Flags;
    if (FPageRoot) {
        inputs.ContentCount = FPageRoot->ContentCount();
        inputs.ImageContentCount = FPageRoot->ImageContentCount();
        inputs.CurrentContentIndex = FPageRoot->CurrentContentIndex;
        inputs.IsFirstContent = FPageRoot->IsFirstContent();
        inputs.IsLastContent = FPageRoot->IsLastContent();
        inputs.IsLoading = FPageRoot->IsLoading();
    }
    inputs.TimerRunning = FFastNextTimer.Running();
    inputs.PrinterAvailable = FPrinter != nullptr && FPrinter->Printer() != nullptr && FPrinter->HasPrinters();
    if (FMainForm != nullptr) {
        const TViewState view = FMainForm->ViewState();
        inputs.Selection = view.Selection;
        inputs.ImageLoaded = view.ImageLoaded;
        inputs.ImageModified = view.ImageModified;
        inputs.TextSheetShown = view.TextSheetShown;
        inputs.TextSelected = view.TextSelected;
        inputs.ClipboardHasImage = view.ClipboardHasImage;
        inputs.CenterImage = view.CenterImage;
    }
    return ComputeControlStates(inputs);
}

void TPaxidVW3::UpdateControls() {
    if (FMainForm == nullptr) {
        return;
    }
    FMainForm->ApplyControlStates(ControlStates());
    if (FMainForm->ViewState().ImageHintOn && FPageRoot) {
        FMainForm->SetImageHint(ThumbCaption(FPageRoot->CurrentContent()));
    }
    FMainForm->RepaintThumbnails();
}

// ---- events ------------------------------------------------------------------------

std::string TPaxidVW3::ProgressPercentText(int nodeCount, int completedCount) {
    const double share = nodeCount <= 0 ? 0.0 : completedCount * 100.0 / nodeCount;
    const int percent = static_cast<int>(std::nearbyint(share));  // halves to the even neighbour
    return percent != 0 ? std::to_string(percent) + "%" : std::string();
}

void TPaxidVW3::OnNewContent(TPageListObj*) {
    Log("TPaxidVW3.OnNewContent - START");
    if (FMainForm == nullptr || !FPageRoot) {
        return;
    }
    const int nodes = FPageRoot->NodeCount();
    const int completed = FPageRoot->CompletedCount();
    FMainForm->SetStatusText(1, ProgressPercentText(nodes, completed));
    FMainForm->SetProgress(nodes, completed);
    const int count = FPageRoot->ContentCount();
    FMainForm->SetThumbnailCount(count);
    if (count == 1) {
        FMainForm->SelectThumbnail(0, true);
    }
    UpdateControls();
    const TViewState view = FMainForm->ViewState();
    if (view.ImageViewCurrent && view.FullScreen) {
        FMainForm->SetImageHintOn(true);
    }
    if (FMainForm->ViewState().ImageHintOn) {
        FMainForm->SetImageHint(ThumbCaption(FPageRoot->CurrentContent()));
    }
    Log("TPaxidVW3.OnNewContent - END");
}

void TPaxidVW3::OnCurrentContentChanged(TPageListObj* page) {
    Log("TPaxidVW3.OnCurrentContentChanged - START");
    if (FMainForm == nullptr || !FPageRoot) {
        return;
    }
    FMainForm->SelectThumbnail(FPageRoot->CurrentContentIndex, false);
    FMainForm->ShowPageObject(page);
    UpdateControls();
    Log("TPaxidVW3.OnCurrentContentChanged - END");
}

void TPaxidVW3::OnProgress(const TProgressInfo& progress) {
    if (FMainForm != nullptr) {
        FMainForm->SetProgress(progress.ProgressMax > 0 ? progress.ProgressMax : 0, progress.Progress);
    }
}

void TPaxidVW3::OnExpandDone() {
    if (FMainForm != nullptr) {
        FMainForm->SetStatusText(0, "");
        FMainForm->SetStatusText(1, "");
        FMainForm->SetProgress(0, 0);
        UpdateControls();
    }
}

void TPaxidVW3::FastNextTimer() {
    if (FMainForm == nullptr || !FPageRoot) {
        FFastNextTimer.Stop();
        return;
    }
    if (!FPageRoot->IsLastContent()) {
        FPageRoot->NextContent();
        return;
    }
    FFastNextTimer.Stop();
    if (FMainForm->ViewState().LoopChecked) {
        FPageRoot->FirstContent();
        FFastNextTimer.Start();
    }
}

std::string TPaxidVW3::ThumbCaption(TPageListObj* page) {
    if (page == nullptr || !FPageRoot) {
        return {};
    }
    return paxid::ThumbCaption(*page, FPageRoot->IndexOfContent(page), FPageRoot->ContentCount(),
                               FPageRoot->ThumbShowTextLevel(), Lang.Translate("ThumbCaption"));
}

}  // namespace paxid
