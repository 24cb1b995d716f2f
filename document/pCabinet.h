#pragma once

#include "document/pPageObj.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

class TPageRoot;

// The collection list inside every cabinet, stored as the archive's last entry.
inline constexpr std::string_view kCabinetListName = "_PaxidList.Paxid";

// One page as the cabinet writer needs it: taken from the page root's
// content list at the moment of saving, so writing never touches the tree.
struct TCabinetPage {
    std::string LocalFileName;  // the page's file (FileName, CacheName or TempFile, whichever exists)
    std::int32_t PageNo = 0;    // 1-based page inside LocalFileName; 0 = the whole file
    TDLType DLType = dltUnknown;
};

// Writes page pageNo (1-based) of the image file source into the new file
// target as a file of that one page; false when it could not. Provided by the
// imaging layer; called on the caller's thread.
using TExtractImagePage =
    std::function<bool(const std::string& source, std::int32_t pageNo, const std::string& target)>;

// Progress of writing or extracting a cabinet, once per file: fileName is
// the entry's bare name, number counts from 1 up to count.
using TCabinetProgress = std::function<void(const std::string& fileName, int number, int count)>;

// The pages a cabinet of content pages fromPage..toPage (1-based, inclusive)
// holds. fromPage <= 1 means the first page; toPage <= 0, or not below
// pageCount, means the last page. Whole is set when the range ends at the
// document's last page: then every source file is stored once and shared.
struct TCabinetRange {
    int First = 1;
    int Last = 0;
    bool Whole = true;
};
TCabinetRange CabinetRange(int fromPage, int toPage, int pageCount);

// A snapshot of the page root's content list for ZipList, in display order.
// Takes the content list's lock for the copy only.
std::vector<TCabinetPage> CabinetPagesOf(TPageRoot& root);

// Writes the cabinet arcName (replacing it) from pages fromPage..toPage of
// pages. Whole ranges store each source file once under a fresh "pxdtmp" name
// and list every page with its number in that file; partial ranges store a
// new single-page file for each image page (made by extractPage) and a whole
// copy of any other page's file. The list "_PaxidList.Paxid" goes last, every
// line ended by CR LF. Files that are already compressed are stored without
// deflating them again. Returns 0; leaves no temporary file behind. Throws
// std::runtime_error when the archive cannot be written (a partial archive is
// never left at arcName).
int ZipList(const std::string& arcName, const std::vector<TCabinetPage>& pages, int fromPage, int toPage,
            const TExtractImagePage& extractPage, const TCabinetProgress& progress = {});

// Extracts every entry of arcName into folder (which must exist), replacing
// existing files. Each entry is written under its bare file name only: folder
// parts, "..", absolute and drive-letter names are reduced to the last name,
// and entries that are folders, links, "." or ".." are skipped, so nothing is
// ever written outside folder and no link inside it is followed. Extraction
// stops once more than 100 times the archive's size and more than 1 GiB have
// been written. A damaged archive extracts what it can. Always returns 0.
struct TCabinetLimits {
    std::int64_t ExpansionFactor = 100;               // times the archive's own size
    std::int64_t MinExtractedBytes = std::int64_t{1} << 30;
};
// The number of bytes an archive of arcSize bytes may extract to.
std::int64_t CabinetExtractionBound(std::int64_t arcSize, const TCabinetLimits& limits = {});
int UnzipCabinet(const std::string& arcName, const std::string& folder, const TCabinetProgress& progress = {},
                 const TCabinetLimits& limits = {});

// A new private folder inside the temporary folder for one cabinet's entries
// (so cabinets expanded side by side never replace each other's list), with a
// trailing '/'. Its name begins with "pxdtmp", so clearing the document finds
// it. Falls back to the temporary folder itself when it cannot be made.
std::string MakeCabinetFolder();

// Removes a folder MakeCabinetFolder made, with everything in it (links are
// removed, never followed). Does nothing for any other folder, the temporary
// folder itself included.
void RemoveCabinetFolder(const std::string& folder);

// The single child a cabinet node gets: the list inside its extraction folder.
std::string CabinetChildName(const std::string& folder);

}  // namespace paxid
