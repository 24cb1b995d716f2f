#pragma once

#include "app/pCommands.h"
#include "app/pLang.h"
#include "app/pSettings.h"
#include "app/pUpdateControls.h"
#include "app/pViewerInterfaces.h"
#include "platform/settings/SettingsStore.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace paxid {

class TMainThread;
class TPageListObj;
class TPageRoot;
struct TProgressInfo;

// The filter of the save dialog built from the document, and the default
// extension it sets ("" leaves the dialog's).
struct TSaveFilter {
    std::string Filter;
    std::string DefaultExt;
};

// The application controller: owns the document (page root), the translator
// and the flags, turns sources from the command line, dialogs, drops and
// automation into nodes of the document, handles every event of the page
// root, interprets command strings, and saves and prints. It reaches the
// main window, the message boxes, the timer and the printer only through
// the interfaces it is given; with no main window every window step is
// skipped, which is how the command-line tool and automation mode run it.
// One per process, reachable through PaxidVW3. Main thread only.
class TPaxidVW3 {
public:
    // Create: the controller without window, document or settings read.
    TPaxidVW3(TMainThread& mainThread, TUserMessages& messages, TViewerTimer& fastNextTimer,
              TSettingsStore settings);
    // Destroy: Finalize when it has not run; clears the global reference.
    ~TPaxidVW3();
    TPaxidVW3(const TPaxidVW3&) = delete;
    TPaxidVW3& operator=(const TPaxidVW3&) = delete;

    // commandLine holds the program path and then every parameter.
    void Initialize(std::vector<std::string> commandLine);
    // Stops the timer and frees the document (stopping the loader).
    void Finalize();
    // The handler of exceptions that reach the event loop: logged only.
    void AppOnException(const std::exception& error);

    // Reads the settings table into the controller and the document. Part of
    // CreateMainForm; the tool calls it without a window.
    void LoadSettings();
    // Takes window (not owning; it outlives the controller's use of it or is
    // detached by DestroyMainForm): translator, language menu, settings, controls.
    void CreateMainForm(TMainWindow* window);
    // Writes the settings of the exit and lets go of the window.
    void DestroyMainForm(const TExitSettings& windowPart);
    void LangMenuSet();
    // The language whose display name occurs in caption is loaded and the
    // window translated; nothing when none matches.
    void LanguageMenuClick(const std::string& caption);

    // A source: a command string goes to ExecuteCommand (nullptr), anything
    // else becomes a new node of the document, fetched by the next expansion.
    TPageListObj* AddEntry(const std::string& source);
    void AddFolder(const std::string& folder);
    // Adds the sources and commands of the command line; true when a source was added.
    bool OpenCommandLine();
    // Dropped names: the document is replaced by the existing files and folders.
    int OnDrop(const std::vector<std::string>& names);
    bool ClearDocument();
    // Starts the expansion and pumps the main thread until it has ended.
    void LoadAndWait();

    void ExecuteCommand(const std::string& text);
    // The enabled states from the flags, the document and the window's view
    // state; applied to the window when there is one.
    TControlStates ControlStates();
    void UpdateControls();

    // The page root's events.
    void OnNewContent(TPageListObj* page);
    void OnCurrentContentChanged(TPageListObj* page);
    void OnProgress(const TProgressInfo& progress);
    void OnExpandDone();
    void FastNextTimer();
    // Status panel 1 while loading: the completed share of the nodes, "" at 0.
    static std::string ProgressPercentText(int nodeCount, int completedCount);

    std::string ThumbCaption(TPageListObj* page);

    // Saving and printing.
    TSaveFilter BuildSaveFilter();
    // The filter of the Page menu's "Save" for the current page; empty
    // without a current page.
    TSaveFilter BuildPageSaveFilter();
    // The save dialog (stops the loader first); empty when cancelled or when
    // no dialog can be shown.
    std::string GetSaveFileName(const std::string& filter);
    void SaveFileEx(const std::string& fileName, int fromPage, int toPage);
    void SavePage(const std::string& fileName);
    void Print();
    void PrintInRange();
    void SetPrinterAccess(TPrinterAccess* printer) { FPrinter = printer; }

    bool IsEmbedded() const { return FEmbedded; }
    TPageRoot& PageRoot() { return *FPageRoot; }
    bool HasPageRoot() const { return FPageRoot != nullptr; }
    TMainWindow* MainWindow() const { return FMainForm; }
    const TViewerSettings& Settings() const { return FSettings; }
    TSettingsStore& SettingsStore() { return FSettingsStore; }
    TViewerTimer& FastNextTimerObject() { return FFastNextTimer; }

    TUIFlags Flags;
    TLang Lang;
    std::string FLastFileOpen;
    int FJpegQuality = 48;
    bool FPrintFitToPage = true;
    int FPrintFromPage = -1;
    int FPrintToPage = -1;
    int FPrintCopies = -1;
    // Told of every command text the interpreter receives, before it acts.
    std::function<void(const std::string& text)> OnCommandReceived;

private:
    void ShowWarning(const std::string& text);
    bool PrinterReady();
    bool PrinterBusy();
    void PrintPages(const std::vector<TPageListObj*>& pages, bool otherType, bool logCount);
    void CollectPrintPages(int first, int last, std::vector<TPageListObj*>& pages, bool& otherType);

    TMainThread& FMainThread;
    TUserMessages& FMessages;
    TViewerTimer& FFastNextTimer;
    TSettingsStore FSettingsStore;
    TViewerSettings FSettings;
    std::vector<std::string> FCommandLine;
    bool FEmbedded = false;
    bool FFinalized = false;
    TMainWindow* FMainForm = nullptr;
    TPrinterAccess* FPrinter = nullptr;
    std::unique_ptr<TPageRoot> FPageRoot;
    std::string FSaveDefaultExt;
};

// The controller of the process; nullptr before Create and after Destroy.
extern TPaxidVW3* PaxidVW3;

// A command string rather than a source: "-" always; "/" only for a single
// word without a dot that names nothing on disk, since absolute paths begin
// with "/" here.
bool IsCommandSource(const std::string& source);

}  // namespace paxid
