// Printing the document and a range of its pages on the process's printer.
#include "app/pPaxidVW3.h"

#include "app/pViewerInterfaces.h"
#include "document/pPagePrint.h"
#include "document/pPageRoot.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/imaging/Printer.h"

namespace paxid {

namespace {

constexpr const char* kPrintTitle = "Paxid Document";
constexpr const char* kPrinterBusy = "Printer is busy! Please wait and try again.";

void Log(const std::string& message) { WriteLog("TPaxidVW3", message); }

// The hourglass for the time of one operation, when there is a window.
class TBusyCursor {
public:
    explicit TBusyCursor(TMainWindow* window) : FWindow(window) {
        if (FWindow != nullptr) {
            FWindow->SetBusyCursor(true);
        }
    }
    ~TBusyCursor() {
        if (FWindow != nullptr) {
            FWindow->SetBusyCursor(false);
        }
    }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    TMainWindow* FWindow;
};

}  // namespace

bool TPaxidVW3::PrinterReady() {
    return FPrinter != nullptr && FPrinter->Printer() != nullptr && FPrinter->HasPrinters() && FPageRoot;
}

bool TPaxidVW3::PrinterBusy() {
    if (!FPrinter->Printer()->Printing()) {
        return false;
    }
    FMessages.ShowMessage("Paxid Viewer", kPrinterBusy, TMessageIcon::Information);
    return true;
}

void TPaxidVW3::CollectPrintPages(int first, int last, std::vector<TPageListObj*>& pages, bool& otherType) {
    Log("Print TList.Create");
    for (int index = first; index <= last; ++index) {
        TPageListObj* page = FPageRoot->ContentItem(index);
        if (page == nullptr) {
            continue;
        }
        Log("Print PageObj.LocalFileName=" + page->LocalFileName());
        if (page->DLType == dltImage) {
            pages.push_back(page);
        } else {
            otherType = true;
        }
    }
}

void TPaxidVW3::PrintPages(const std::vector<TPageListObj*>& pages, bool otherType, bool logCount) {
    TPrinter& printer = *FPrinter->Printer();
    if (!pages.empty()) {
        printer.SetTitle(kPrintTitle);
        Log("Print Printer.BeginDoc");
        printer.BeginDoc();
    }
    if (logCount) {
        Log("Print objlist.Count = " + std::to_string(pages.size()));
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string file = pages[i]->LocalFileName();
        if (!FileExists(file)) {
            continue;
        }
        Log("Print PrintImageFile  PageObj.LocalFileName=" + file);
        PrintImageFile(printer, file, pages[i]->PageNo, i + 1 == pages.size(), FPrintFitToPage);
    }
    if (!pages.empty()) {
        Log("Print Printer.EndDoc");
        printer.EndDoc();
    }
    if (otherType) {
        FMessages.ShowMessage("Paxid Viewer", Lang.Translate("ErrPrint") + "\r\n", TMessageIcon::Warning);
    }
}

void TPaxidVW3::Print() {
    Log("Print BEGIN");
    if (!PrinterReady() || PrinterBusy()) {
        return;
    }
    try {
        TBusyCursor busy(FMainForm);
        std::vector<TPageListObj*> pages;
        bool otherType = false;
        CollectPrintPages(0, FPageRoot->ContentCount() - 1, pages, otherType);
        PrintPages(pages, otherType, false);
    } catch (const std::exception& error) {
        Log(std::string("Print Exception : ") + error.what());
    }
    Log("Print END");
}

void TPaxidVW3::PrintInRange() {
    Log("Print BEGIN");
    if (!PrinterReady()) {
        return;
    }
    const int count = FPageRoot->ContentCount();
    TPrintRange range{1, count, 1};
    if (FPrintFromPage > 0) {
        range.FromPage = FPrintFromPage;
    }
    if (FPrintToPage > 0) {
        range.ToPage = FPrintToPage;
    }
    if (FPrintCopies > 0) {
        range.Copies = FPrintCopies;
    }
    if (!FPrinter->ChoosePrintRange(count, range)) {
        return;
    }
    FPrintFromPage = range.FromPage;
    FPrintToPage = range.ToPage;
    FPrintCopies = range.Copies;
    WritePrinterSettings(FSettingsStore, {FPrinter->PrinterName(), FPrinter->Landscape(), std::nullopt});
    if (PrinterBusy()) {
        return;
    }
    try {
        TBusyCursor busy(FMainForm);
        std::vector<TPageListObj*> pages;
        bool otherType = false;
        CollectPrintPages(FPrintFromPage - 1, FPrintToPage - 1, pages, otherType);
        FPrinter->SetCopies(1);
        Log(std::string("Print pcCopies in Printer.Capabilities = ") + (FPrinter->MakesCopies() ? "True" : "False"));
        if (FPrintCopies > 1) {
            FPrinter->SetCopies(FPrintCopies);
        }
        PrintPages(pages, otherType, true);
    } catch (const std::exception& error) {
        Log(std::string("Print Exception : ") + error.what());
    }
    Log("Print END");
}

}  // namespace paxid
