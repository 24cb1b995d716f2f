#pragma once

#include "app/pCommands.h"

#include <string>
#include <string_view>
#include <vector>

namespace paxid {

// What the enabled state of the main window's controls depends on: the
// controller's flags, the document and the views. The GUI fills the view
// parts; with no window they are all false.
struct TControlInputs {
    TUIFlags Flags;
    int ContentCount = 0;
    int ImageContentCount = 0;
    int CurrentContentIndex = -1;   // 0-based; -1 when no page is current
    bool IsFirstContent = true;
    bool IsLastContent = true;
    bool IsLoading = false;
    bool TimerRunning = false;      // timed paging
    bool PrinterAvailable = false;  // a printer object exists and a printer is installed
    bool Selection = false;         // the image view has a region of positive size
    bool ImageLoaded = false;       // the image view holds an image
    bool ImageModified = false;     // the image view holds unsaved changes
    bool TextSheetShown = false;
    bool TextSelected = false;      // text is selected in the text view
    bool ClipboardHasImage = false; // the clipboard holds an image that can be pasted
    bool CenterImage = false;       // the image view's centring
};

struct TControlState {
    std::string Name;  // the control's component name ("miOpen", "tbNext", ...)
    bool Enabled = false;
};

// The result the GUI applies to its widgets: every control listed is set,
// every other control is left as it is.
struct TControlStates {
    std::string PageNumberText;  // the page number box: 1-based, empty without pages
    bool CenterImageChecked = false;
    std::vector<TControlState> Controls;  // in a fixed order

    // False also for a name not in the list.
    bool Enabled(std::string_view name) const;
    const TControlState* Find(std::string_view name) const;
};

// The enabled state of every control that depends on the flags and the document.
TControlStates ComputeControlStates(const TControlInputs& inputs);

}  // namespace paxid
