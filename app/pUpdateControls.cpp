#include "app/pUpdateControls.h"

#include <initializer_list>

namespace paxid {

bool TControlStates::Enabled(std::string_view name) const {
    const TControlState* state = Find(name);
    return state != nullptr && state->Enabled;
}

const TControlState* TControlStates::Find(std::string_view name) const {
    for (const TControlState& state : Controls) {
        if (state.Name == name) {
            return &state;
        }
    }
    return nullptr;
}

TControlStates ComputeControlStates(const TControlInputs& in) {
    const TUIFlags& f = in.Flags;
    const bool empty = in.ContentCount == 0;
    const bool readOnly = f.FReadOnly;
    TControlStates result;
    result.PageNumberText = empty ? std::string() : std::to_string(in.CurrentContentIndex + 1);
    result.CenterImageChecked = in.CenterImage;

    const auto set = [&result](std::initializer_list<const char*> names, bool enabled) {
        for (const char* name : names) {
            result.Controls.push_back({name, enabled});
        }
    };
    const bool back = f.FUINavigationEnabled && !in.IsFirstContent;
    const bool forward = f.FUINavigationEnabled && !in.IsLastContent;
    const bool fastNext = forward && !in.TimerRunning;
    const bool print = f.FUIPrintEnabled && !empty && in.PrinterAvailable;
    const bool copy = in.ImageLoaded ? f.FUIClipboardEnabled
                                     : (in.TextSheetShown && in.TextSelected && f.FUIClipboardEnabled);
    const bool open = !readOnly && f.FUIOpenEnabled;

    set({"miFirstPage", "miPreviousPage", "tbFirst", "tbPrev"}, back);
    set({"miLastPage", "miNextPage", "tbNext"}, forward);
    set({"tbFastNext"}, fastNext);
    set({"tbStopTimer"}, forward && !fastNext);
    set({"miPrint", "miPrintInRange", "miPagePrint", "tbPrint", "popiPrintDoc", "popiPrintPage",
         "popiThumbPrintPage", "popiPrintInRange"},
        print);
    set({"miPagePrintSelection", "popiPrintSelection", "popiThumbPrintPageSelection"}, print && in.Selection);
    set({"miPrintSetup"}, f.FUIPrintEnabled && in.PrinterAvailable);
    set({"miViewPage", "miViewThumbnails", "miViewPageThumbnails", "miViewCenterImage", "miViewFullscreen",
         "tbImage", "tbThumbnails", "tbImageAndThumbnails"},
        f.FUIViewEnabled);
    set({"miSave", "tbSave", "popiSaveCAB", "miPageSavePage", "popiSavePage", "popiThumbSavePage"},
        f.FUISaveEnabled && !empty);
    set({"miPageDelete", "popiThumbDeletePage"}, f.FUISaveEnabled && !empty && !readOnly);
    set({"popiSaveChanges"}, f.FUISaveEnabled && !empty && !readOnly && in.ImageModified);
    set({"popiSaveTiff"}, f.FUISaveEnabled && !empty && in.ImageContentCount == in.ContentCount);
    set({"miFileEmail", "miPageEMailPage", "tbEMail", "popiEMailPage", "popiEMailDoc", "popiThumbEMail"},
        f.FUIEMailEnabled && !empty);
    set({"tbStop"}, in.IsLoading);
    set({"miImageFind"}, in.TextSheetShown);
    set({"popiThumbOpen", "popiThumbProperties"}, !empty);
    set({"miImageProcessing"}, in.ImageLoaded && f.FUIImgProcEnabled);
    set({"miImageCut", "tbCut", "miPageCrop"}, in.Selection && !readOnly && f.FUIClipboardEnabled);
    set({"miImageCopy", "tbCopy"}, copy);
    set({"miImagePaste", "tbPaste"}, in.ClipboardHasImage && !readOnly && f.FUIClipboardEnabled);
    set({"miFileScan", "popiAcquire"}, f.FTwainAvailable && open);
    set({"miFileSelectScanner", "tbOpen", "popiFile", "popiFolder", "popiServer", "miNew", "miOpen",
         "miOpenFolder", "miOpenServer", "miPageAdd"},
        open);
    set({"miClear"}, open && !empty);
    set({"miPageProperties"}, !empty && f.FUIOpenEnabled);
    return result;
}

}  // namespace paxid
