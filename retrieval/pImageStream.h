#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/IncrementalDecoder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace paxid {

// Decodes an image while it is being downloaded, so that each page can be
// handed over as soon as its bytes have arrived. PNG, JPEG and JBIG are
// decoded as the bytes come; a page of a multi-page TIFF is decoded once its
// directory and all its strips are present; GIF, BMP and WebP files as soon as
// their last byte has arrived (their first row is announced as soon as the
// header has arrived). Every page is
// announced with a first-row and a last-row notification, in page order.
// Lives for one download on the loader thread.
class TImageStream {
public:
    // status is "FIRSTROW" or "LASTROW"; info describes the file and the page.
    using TFirstRowEvent = std::function<void(const std::string& status, const TImageFileInfo& info)>;
    // bitmap is the decoded page; the handler may move it away, else it is
    // freed when the handler returns.
    using TLastRowEvent =
        std::function<void(const std::string& status, const TImageFileInfo& info, TBitmap& bitmap)>;

    TFirstRowEvent OnFirstRow;
    TLastRowEvent OnLastRow;

    // Starts a feed; returns kImagingSuccess.
    int Initialize();
    // Takes the next bytes of the file; returns kImagingSuccess unless the
    // stream was not initialised.
    int FeedData(const std::uint8_t* buffer, std::size_t length);
    // Ends the feed: pages that only the end of the data completes are
    // delivered now. Returns kImagingSuccess when the data held an image.
    int Finalize();

    // Pages delivered through OnLastRow so far.
    int PagesDelivered() const { return FNextPage - 1; }

private:
    // The decoder's row notification: flags of the FILEREAD_ values below.
    int OnLoadCB(const TImageFileInfo& info, TBitmap* bitmap, int flags);
    // Delivers every page that the bytes so far complete.
    void DeliverCompletePages(bool endOfData);
    bool DeliverTiffPages(bool endOfData);
    // PNG, JPEG and JBIG: hands the new bytes to the incremental decoder; false
    // when there is none (other formats, or data it found broken).
    bool FeedIncrementalDecoder();
    // BMP, WebP and GIF: the size of the whole file once the bytes show it; 0 before.
    std::size_t CompleteFileSize();
    std::size_t ScanGif();
    void DeliverPage(TBitmap& bitmap, const TImageFileInfo& info);

    std::vector<std::uint8_t> FData;
    bool FInitialized = false;
    bool FFinished = false;
    int FFormat = 0;
    int FNextPage = 1;           // 1-based page to deliver next
    std::size_t FNeededBytes = 0;  // no new page can be complete below this size
    bool FFirstRowSent = false;     // the first row of page FNextPage was announced
    std::size_t FHeaderRetryAt = 0;  // size at which an unreadable header is tried again
    std::unique_ptr<TIncrementalDecoder> FDecoder;
    bool FDecoderFailed = false;
    std::size_t FDecodedBytes = 0;  // bytes of FData handed to FDecoder
    // Where the walk over the blocks of a GIF stopped.
    struct TGifScan {
        std::size_t Position = 0;
        bool InSubBlocks = false;
        bool Broken = false;
    };
    TGifScan FGifScan;
    bool FEarlyDecodeFailed = false;  // a file thought complete did not decode
};

}  // namespace paxid
