#include "platform/imaging/PdfRaster.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace paxid {

namespace {

constexpr double kPointsPerInch = 72.0;

std::unique_ptr<poppler::document> OpenDocument(std::span<const std::uint8_t> data) {
    InstallImagingMessageHandlers();
    if (data.empty() || data.size() > static_cast<std::size_t>(INT32_MAX)) {
        return nullptr;
    }
    std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(
        reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size())));
    if (!document || document->is_locked()) {
        return nullptr;
    }
    return document;
}

bool PageGeometry(poppler::document& document, int pageNo, TImageFileInfo& info,
                  std::unique_ptr<poppler::page>& page) {
    const int count = document.pages();
    if (count < 1 || count > kMaxPageCount) {
        return false;
    }
    const int index = pageNo <= 0 ? 0 : pageNo - 1;
    if (index >= count) {
        return false;
    }
    page.reset(document.create_page(index));
    if (!page) {
        return false;
    }
    const poppler::rectf box = page->page_rect(poppler::media_box);
    const double width = std::abs(box.width()) * kPdfRasterDpi / kPointsPerInch;
    const double height = std::abs(box.height()) * kPdfRasterDpi / kPointsPerInch;
    const bool turned = page->orientation() == poppler::page::landscape ||
                        page->orientation() == poppler::page::seascape;
    info.Format = kFormatPdf;
    info.TotalPages = count;
    info.Width = static_cast<int>(std::lround(std::min(turned ? height : width, 1e9)));
    info.Height = static_cast<int>(std::lround(std::min(turned ? width : height, 1e9)));
    info.BitsPerPixel = 24;
    info.XResolution = kPdfRasterDpi;
    info.YResolution = kPdfRasterDpi;
    return info.Width > 0 && info.Height > 0;
}

}  // namespace

int PdfFileInfo(std::span<const std::uint8_t> data, int pageNo, TImageFileInfo& info) {
    try {
        auto document = OpenDocument(data);
        std::unique_ptr<poppler::page> page;
        if (!document || !PageGeometry(*document, pageNo, info, page)) {
            return kImagingFailure;
        }
        return kImagingSuccess;
    } catch (const std::exception& error) {
        PlatformLog("PdfRaster", std::string("FileInfo EXCEPTION ") + error.what());
        return kImagingFailure;
    }
}

int PdfLoadPage(std::span<const std::uint8_t> data, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    try {
        auto document = OpenDocument(data);
        TImageFileInfo pageInfo;
        std::unique_ptr<poppler::page> page;
        if (!document || !PageGeometry(*document, pageNo, pageInfo, page)) {
            return kImagingFailure;
        }
        if (!ImageSizeAcceptable(pageInfo.Width, pageInfo.Height, 32)) {
            PlatformLog("PdfRaster", "page refused: size beyond the limits");
            return kImagingFailure;
        }
        // Text is smoothed (alpha 4), graphics are not (alpha 1), as pages are
        // shown and converted everywhere in the viewer.
        poppler::page_renderer renderer;
        renderer.set_render_hint(poppler::page_renderer::antialiasing, false);
        renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
        renderer.set_image_format(poppler::image::format_rgb24);
        const poppler::image image = renderer.render_page(page.get(), kPdfRasterDpi, kPdfRasterDpi);
        if (!image.is_valid() || image.width() <= 0 || image.height() <= 0) {
            return kImagingFailure;
        }
        TBitmap rendered(pixCreate(image.width(), image.height(), 32));
        if (rendered.IsEmpty()) {
            return kImagingFailure;
        }
        pixSetSpp(rendered.Get(), 3);
        l_uint32* raster = pixGetData(rendered.Get());
        const int wordsPerLine = pixGetWpl(rendered.Get());
        const char* rows = image.const_data();
        // rgb24 pixels are three bytes, red first; rows are padded to 4 bytes.
        for (int y = 0; y < image.height(); ++y) {
            const auto* row =
                reinterpret_cast<const std::uint8_t*>(rows + static_cast<std::ptrdiff_t>(y) * image.bytes_per_row());
            l_uint32* line = raster + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
            for (int x = 0; x < image.width(); ++x) {
                const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(x) * 3;
                line[x] = (l_uint32{pixel[0]} << 24) | (l_uint32{pixel[1]} << 16) | (l_uint32{pixel[2]} << 8);
            }
        }
        rendered.SetResolution(kPdfRasterDpi, kPdfRasterDpi);
        if (info != nullptr) {
            *info = pageInfo;
            info->SizeDisk = static_cast<std::int64_t>(data.size());
        }
        bitmap = std::move(rendered);
        return kImagingSuccess;
    } catch (const std::exception& error) {
        PlatformLog("PdfRaster", std::string("LoadPage EXCEPTION ") + error.what());
        return kImagingFailure;
    }
}

}  // namespace paxid
