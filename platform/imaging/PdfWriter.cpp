// qpdf 11 warns unless told that this file uses no old PointerHolder code.
#define POINTERHOLDER_TRANSITION 4

#include "platform/imaging/PdfWriter.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <sstream>

namespace paxid {

namespace {

struct TCompressedDataDeleter {
    void operator()(L_COMP_DATA* data) const { l_CIDataDestroy(&data); }
};

std::string Number(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(6);
    text << std::fixed << value;
    return text.str();
}

void ReportWarnings(QPDF& pdf) {
    for (const QPDFExc& warning : pdf.getWarnings()) {
        PlatformLog("TPdfWriter", std::string("qpdf warning: ") + warning.what());
    }
}

}  // namespace

bool EncodePdfImage(const TBitmap& bitmap, int jpegQuality, TPdfImage& image) {
    if (bitmap.IsEmpty()) {
        return false;
    }
    InstallImagingMessageHandlers();
    const bool bitonal = bitmap.BitsPerPixel() == 1;
    L_COMP_DATA* raw = nullptr;
    if (pixGenerateCIData(bitmap.Get(), bitonal ? L_G4_ENCODE : L_JPEG_ENCODE, bitonal ? 0 : jpegQuality, 0, &raw) !=
            0 ||
        raw == nullptr) {
        return false;
    }
    std::unique_ptr<L_COMP_DATA, TCompressedDataDeleter> data(raw);
    image.Kind = bitonal ? TPdfImage::TKind::GroupFour : TPdfImage::TKind::Jpeg;
    image.Data.assign(data->datacomp, data->datacomp + data->nbytescomp);
    image.Width = data->w;
    image.Height = data->h;
    image.Components = data->spp == 3 ? 3 : 1;
    image.MinIsBlack = data->minisblack != 0;
    return !image.Data.empty();
}

struct TPdfWriter::TState {
    QPDF Pdf;
    // Compressed image data the document's streams point into (qpdf does not
    // own it); it lives as long as the document.
    std::deque<std::vector<std::uint8_t>> ImageData;
    QPDFObjectHandle Page;
    std::string Content;
    int ImageCount = 0;

    void FlushContent() {
        if (Page.isInitialized() && Page.isDictionary()) {
            Page.getKey("/Contents").replaceStreamData(Content, QPDFObjectHandle::newNull(),
                                                       QPDFObjectHandle::newNull());
        }
    }
};

TPdfWriter::TPdfWriter() = default;
TPdfWriter::~TPdfWriter() = default;

bool TPdfWriter::Open(const std::string& fileName, bool appendToExisting) {
    InstallImagingMessageHandlers();
    Discard();
    try {
        auto state = std::make_unique<TState>();
        state->Pdf.setSuppressWarnings(true);
        struct stat status {};
        if (appendToExisting && ::stat(fileName.c_str(), &status) == 0) {
            state->Pdf.processFile(fileName.c_str());
        } else {
            state->Pdf.emptyPDF();
        }
        ReportWarnings(state->Pdf);
        FState = std::move(state);
        FFileName = fileName;
        return true;
    } catch (const std::exception& error) {
        PlatformLog("TPdfWriter", std::string("Open EXCEPTION ") + error.what());
        return false;
    }
}

bool TPdfWriter::IsOpen() const { return FState != nullptr; }

bool TPdfWriter::AddPage(double widthPoints, double heightPoints) {
    if (!FState || !(widthPoints > 0.0) || !(heightPoints > 0.0)) {
        return false;
    }
    try {
        FState->FlushContent();
        QPDF& pdf = FState->Pdf;
        QPDFObjectHandle contents = pdf.newStream(std::string());
        QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page /Resources << /XObject << >> >> >>");
        page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(0, 0, widthPoints,
                                                                                            heightPoints)));
        page.replaceKey("/Contents", contents);
        page = pdf.makeIndirectObject(page);
        QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
        FState->Page = page;
        FState->Content.clear();
        return true;
    } catch (const std::exception& error) {
        PlatformLog("TPdfWriter", std::string("AddPage EXCEPTION ") + error.what());
        return false;
    }
}

bool TPdfWriter::DrawImage(const TPdfImage& image, double left, double top, double width, double height) {
    TPdfImage copy = image;
    return DrawImage(std::move(copy), left, top, width, height);
}

bool TPdfWriter::DrawImage(TPdfImage&& image, double left, double top, double width, double height) {
    if (!FState || !FState->Page.isInitialized() || image.Data.empty() || image.Width <= 0 || image.Height <= 0) {
        return false;
    }
    try {
        QPDF& pdf = FState->Pdf;
        QPDFObjectHandle dictionary = QPDFObjectHandle::newDictionary();
        dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(image.Width));
        dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(image.Height));
        QPDFObjectHandle filter;
        QPDFObjectHandle parameters = QPDFObjectHandle::newNull();
        if (image.Kind == TPdfImage::TKind::GroupFour) {
            dictionary.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
            dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(1));
            filter = QPDFObjectHandle::newName("/CCITTFaxDecode");
            parameters = QPDFObjectHandle::newDictionary();
            parameters.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
            parameters.replaceKey("/Columns", QPDFObjectHandle::newInteger(image.Width));
            parameters.replaceKey("/Rows", QPDFObjectHandle::newInteger(image.Height));
            parameters.replaceKey("/BlackIs1", QPDFObjectHandle::newBool(image.MinIsBlack));
        } else {
            dictionary.replaceKey("/ColorSpace",
                                  QPDFObjectHandle::newName(image.Components == 3 ? "/DeviceRGB" : "/DeviceGray"));
            dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
            filter = QPDFObjectHandle::newName("/DCTDecode");
        }
        QPDFObjectHandle stream = pdf.newStream();
        stream.replaceDict(dictionary);
        std::vector<std::uint8_t>& data = FState->ImageData.emplace_back(std::move(image.Data));
        stream.replaceStreamData(std::make_shared<Buffer>(data.data(), data.size()), filter, parameters);
        const std::string name = "/Im" + std::to_string(++FState->ImageCount);
        FState->Page.getKey("/Resources").getKey("/XObject").replaceKey(name, stream);

        const double pageHeight = FState->Page.getKey("/MediaBox").getArrayItem(3).getNumericValue();
        FState->Content += "q " + Number(width) + " 0 0 " + Number(height) + " " + Number(left) + " " +
                           Number(pageHeight - top - height) + " cm " + name + " Do Q\n";
        return true;
    } catch (const std::exception& error) {
        PlatformLog("TPdfWriter", std::string("DrawImage EXCEPTION ") + error.what());
        return false;
    }
}

int TPdfWriter::PageCount() const {
    if (!FState) {
        return 0;
    }
    try {
        return static_cast<int>(QPDFPageDocumentHelper(FState->Pdf).getAllPages().size());
    } catch (const std::exception&) {
        return 0;
    }
}

bool TPdfWriter::Commit() {
    if (!FState) {
        return false;
    }
    std::unique_ptr<TState> state = std::move(FState);
    const std::string fileName = FFileName;
    FFileName.clear();
    std::string temporary = fileName + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        PlatformLog("TPdfWriter", "Commit cannot create a file beside " + fileName);
        return false;
    }
    // The new file keeps the permissions of the one it replaces; a new name gets rw-r--r--.
    struct stat existing {};
    ::fchmod(descriptor, ::stat(fileName.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    FILE* file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        ::close(descriptor);
        ::unlink(temporary.c_str());
        return false;
    }
    try {
        state->FlushContent();
        if (!FTitle.empty()) {
            QPDFObjectHandle trailer = state->Pdf.getTrailer();
            QPDFObjectHandle information = trailer.getKey("/Info");
            if (!information.isDictionary()) {
                information = state->Pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
                trailer.replaceKey("/Info", information);
            }
            information.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(FTitle));
        }
        QPDFWriter writer(state->Pdf, temporary.c_str(), file, true);
        // Page images are compressed already; streams are written as they are.
        writer.setStreamDataMode(qpdf_s_preserve);
        writer.write();
        ReportWarnings(state->Pdf);
    } catch (const std::exception& error) {
        PlatformLog("TPdfWriter", std::string("Commit EXCEPTION ") + error.what());
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), fileName.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void TPdfWriter::Discard() {
    FState.reset();
    FFileName.clear();
}

}  // namespace paxid
