#pragma once

#include "app/pUpdateControls.h"

#include <functional>
#include <ostream>
#include <string>

namespace paxid {

class TLang;
class TPageListObj;
class TPrinter;

enum class TMessageIcon { Information, Warning, Error };

// Message boxes and the beep. The GUI shows dialogs; the console version
// writes to a stream. Main thread.
class TUserMessages {
public:
    virtual ~TUserMessages() = default;
    virtual void ShowMessage(const std::string& caption, const std::string& text, TMessageIcon icon) = 0;
    virtual void Beep(int frequencyHz, int durationMs) = 0;
};

// Messages as "caption: text" lines; the beep as a BEL character.
class TConsoleMessages final : public TUserMessages {
public:
    explicit TConsoleMessages(std::ostream& out) : FOut(out) {}
    void ShowMessage(const std::string& caption, const std::string& text, TMessageIcon icon) override;
    void Beep(int frequencyHz, int durationMs) override;

private:
    std::ostream& FOut;
};

// A repeating timer on the main thread. The GUI's runs on its event loop; the
// manual one ticks only when told, for the tool and the tests.
class TViewerTimer {
public:
    virtual ~TViewerTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool Running() const = 0;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;

    std::function<void()> OnTick;
};

class TManualTimer final : public TViewerTimer {
public:
    void Start() override { FRunning = true; }
    void Stop() override { FRunning = false; }
    bool Running() const override { return FRunning; }
    void SetInterval(int milliseconds) override { FInterval = milliseconds; }
    int Interval() const override { return FInterval; }
    // Runs OnTick once when the timer runs.
    void Tick();

private:
    bool FRunning = false;
    int FInterval = 250;
};

// The page range and copies a print dialog confirmed (1-based, inclusive).
struct TPrintRange {
    int FromPage = 1;
    int ToPage = 1;
    int Copies = 1;
};

// The printer of the process: the GUI's system printer, a PDF file for the tool.
class TPrinterAccess {
public:
    virtual ~TPrinterAccess() = default;
    // nullptr when there is no printer object.
    virtual TPrinter* Printer() = 0;
    // At least one printer is installed.
    virtual bool HasPrinters() const = 0;
    virtual std::string PrinterName() const = 0;
    virtual bool Landscape() const = 0;
    // Whether the device makes copies itself; the pages are sent once either way.
    virtual bool MakesCopies() const = 0;
    virtual void SetCopies(int copies) = 0;
    // The print dialog: offers suggested (pages 1..pageCount); false when cancelled.
    virtual bool ChoosePrintRange(int pageCount, TPrintRange& range) = 0;
};

// What the view side knows that the enabled states depend on.
struct TViewState {
    bool Selection = false;
    bool ImageLoaded = false;
    bool ImageModified = false;
    bool TextSheetShown = false;
    bool TextSelected = false;
    bool ClipboardHasImage = false;
    bool CenterImage = false;
    bool ImageViewCurrent = false;  // the current view is the image view
    bool ImageHintOn = false;       // the full-screen hint shows the caption
    bool FullScreen = false;
    bool LoopChecked = false;       // timed paging starts over at the first page
};

// The main window and its views, as the controller reaches them. Everything
// the controller does that needs a window goes through here; without one
// the controller skips it. Main thread.
class TMainWindow {
public:
    virtual ~TMainWindow() = default;

    virtual TViewState ViewState() const = 0;
    virtual void ApplyControlStates(const TControlStates& states) = 0;
    // Adds a Language menu item (and the same item in the help popup).
    virtual void AddLanguageMenuItem(const std::string& caption) = 0;
    // Re-translates the main window and the image view.
    virtual void Translate(const TLang& lang) = 0;
    virtual void AppendMemoLine(const std::string& line) = 0;
    // panel 0..2 of the status bar.
    virtual void SetStatusText(int panel, const std::string& text) = 0;
    // maximum <= 0 leaves the maximum as it is.
    virtual void SetProgress(long long maximum, long long position) = 0;
    // The thumbnail list's item count; 0 also empties its image list.
    virtual void SetThumbnailCount(int count) = 0;
    // Selects, focuses and shows item index; navigate false keeps the
    // selection from paging a second time.
    virtual void SelectThumbnail(int index, bool navigate) = 0;
    virtual void RepaintThumbnails() = 0;
    // Shows page in the view its type wants (nullptr: nothing).
    virtual void ShowPageObject(TPageListObj* page) = 0;
    // Empties every view and shows the program sheet.
    virtual void ClearView() = 0;
    virtual void SetImageHint(const std::string& text) = 0;
    virtual void SetImageHintOn(bool on) = 0;
    virtual bool BusyCursor() const = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    // The save dialog with filter; empty when cancelled.
    virtual std::string ChooseSaveFileName(const std::string& filter, const std::string& defaultExt,
                                           const std::string& initialFolder) = 0;
    // Saves the page shown in the image view (with its edits) under fileName.
    virtual void SaveImageViewPageAs(const std::string& fileName) = 0;
};

}  // namespace paxid
