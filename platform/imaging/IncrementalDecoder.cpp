#include "platform/imaging/IncrementalDecoder.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/JbigCodec.h"

#include <leptonica/allheaders.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

extern "C" {
#include <jbig.h>
}

namespace paxid {

namespace {

// Rows are kept as the library delivers them (gray or RGB bytes) and turned
// into a Leptonica bitmap at the end.
TBitmap RowsToBitmap(const std::vector<std::uint8_t>& rows, int width, int height, int channels, bool bitonal,
                     int xResolution, int yResolution) {
    TBitmap bitmap(pixCreate(width, height, channels == 3 ? 32 : 8));
    if (bitmap.IsEmpty()) {
        return {};
    }
    l_uint32* lines = pixGetData(bitmap.Get());
    const int wordsPerLine = pixGetWpl(bitmap.Get());
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * rowBytes;
        l_uint32* line = lines + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < width; ++x) {
            if (channels == 3) {
                const std::uint8_t* rgb = row + static_cast<std::ptrdiff_t>(x) * 3;
                line[x] = (l_uint32{rgb[0]} << 24) | (l_uint32{rgb[1]} << 16) | (l_uint32{rgb[2]} << 8);
            } else {
                SET_DATA_BYTE(line, x, row[x]);
            }
        }
    }
    if (channels == 3) {
        pixSetSpp(bitmap.Get(), 3);
    } else if (bitonal) {
        bitmap = TBitmap(pixThresholdToBinary(bitmap.Get(), 128));
    }
    bitmap.SetResolution(xResolution, yResolution);
    return bitmap;
}

// ---------------------------------------------------------------- PNG

class TPngDecoder final : public TIncrementalDecoder {
public:
    TPngDecoder() {
        FPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, &TPngDecoder::Error, &TPngDecoder::Warning);
        if (FPng != nullptr) {
            FInfoStruct = png_create_info_struct(FPng);
        }
        if (FPng == nullptr || FInfoStruct == nullptr) {
            FBroken = true;
            return;
        }
        png_set_progressive_read_fn(FPng, this, &TPngDecoder::InfoReady, &TPngDecoder::RowReady,
                                    &TPngDecoder::EndReached);
    }
    ~TPngDecoder() override { png_destroy_read_struct(&FPng, &FInfoStruct, nullptr); }
    TPngDecoder(const TPngDecoder&) = delete;
    TPngDecoder& operator=(const TPngDecoder&) = delete;

    bool Feed(std::span<const std::uint8_t> bytes) override {
        if (FBroken || FComplete || bytes.empty()) {
            return !FBroken;
        }
        // libpng reports errors by jumping back here; the callbacks it runs
        // hold no C++ objects with destructors across that jump.
        if (setjmp(png_jmpbuf(FPng)) != 0) {
            FBroken = true;
            return false;
        }
        png_process_data(FPng, FInfoStruct, const_cast<std::uint8_t*>(bytes.data()), bytes.size());
        return !FBroken;
    }
    bool HeaderKnown() const override { return FHeaderKnown; }
    const TImageFileInfo& Info() const override { return FInfo; }
    bool Complete() const override { return FComplete; }
    int RowsDone() const override { return FRowsDone; }
    TBitmap TakeBitmap() override {
        if (!FComplete) {
            return {};
        }
        return RowsToBitmap(FRows, FInfo.Width, FInfo.Height, FChannels, FInfo.BitsPerPixel == 1, FInfo.XResolution,
                            FInfo.YResolution);
    }

private:
    static TPngDecoder* Self(png_structp png) { return static_cast<TPngDecoder*>(png_get_progressive_ptr(png)); }

    static void Error(png_structp png, png_const_charp message) {
        PlatformLog("libpng", message == nullptr ? "error" : message);
        png_longjmp(png, 1);
    }
    static void Warning(png_structp, png_const_charp message) {
        PlatformLog("libpng", message == nullptr ? "warning" : message);
    }

    static void InfoReady(png_structp png, png_infop info) {
        TPngDecoder* self = Self(png);
        png_uint_32 width = 0;
        png_uint_32 height = 0;
        int bitDepth = 0;
        int colourType = 0;
        png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
        if (!ImageSizeAcceptable(width, height, 32)) {
            png_error(png, "image size beyond the limits");
        }
        const bool colour = (colourType & PNG_COLOR_MASK_COLOR) != 0;
        png_set_expand(png);
        png_set_strip_16(png);
        if ((colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
            // Transparent parts show white, as on paper.
            png_color_16 white{};
            white.red = white.green = white.blue = white.gray = 255;
            png_set_background(png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        self->FChannels = colour ? 3 : 1;
        if (png_get_channels(png, info) != self->FChannels) {
            png_error(png, "unexpected channel count");
        }
        self->FInfo.Format = kFormatPng;
        self->FInfo.TotalPages = 1;
        self->FInfo.Width = static_cast<int>(width);
        self->FInfo.Height = static_cast<int>(height);
        self->FInfo.BitsPerPixel = colour ? 24 : ((bitDepth == 1 && colourType == PNG_COLOR_TYPE_GRAY) ? 1 : 8);
        png_uint_32 xPerMetre = 0;
        png_uint_32 yPerMetre = 0;
        int unit = 0;
        if (png_get_pHYs(png, info, &xPerMetre, &yPerMetre, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
            self->FInfo.XResolution = static_cast<int>(xPerMetre * 0.0254 + 0.5);
            self->FInfo.YResolution = static_cast<int>(yPerMetre * 0.0254 + 0.5);
        }
        // The only allocation inside a libpng callback; an exception must not cross it.
        bool allocated = true;
        try {
            self->FRows.assign(static_cast<std::size_t>(width) * height * static_cast<std::size_t>(self->FChannels),
                               255);
        } catch (...) {
            allocated = false;
        }
        if (!allocated) {
            png_error(png, "out of memory");
        }
        self->FHeaderKnown = true;
    }

    static void RowReady(png_structp png, png_bytep row, png_uint_32 rowNumber, int /*pass*/) {
        TPngDecoder* self = Self(png);
        if (row == nullptr || rowNumber >= static_cast<png_uint_32>(self->FInfo.Height)) {
            return;
        }
        const std::size_t rowBytes = static_cast<std::size_t>(self->FInfo.Width) * self->FChannels;
        png_progressive_combine_row(png, self->FRows.data() + rowNumber * rowBytes, row);
        self->FRowsDone = std::max(self->FRowsDone, static_cast<int>(rowNumber) + 1);
    }

    static void EndReached(png_structp png, png_infop) { Self(png)->FComplete = true; }

    png_structp FPng = nullptr;
    png_infop FInfoStruct = nullptr;
    TImageFileInfo FInfo;
    std::vector<std::uint8_t> FRows;
    int FChannels = 1;
    int FRowsDone = 0;
    bool FHeaderKnown = false;
    bool FComplete = false;
    bool FBroken = false;
};

// ---------------------------------------------------------------- JPEG

// libjpeg reads from this source; when it runs dry the decoder suspends and
// resumes with the next bytes.
struct TSuspendingSource {
    jpeg_source_mgr Manager{};
    std::vector<std::uint8_t> Bytes;
    std::size_t SkipPending = 0;
};

void SourceInit(j_decompress_ptr) {}
boolean SourceFill(j_decompress_ptr) { return FALSE; }  // suspend until more data arrives
void SourceTerm(j_decompress_ptr) {}

void SourceSkip(j_decompress_ptr decoder, long count) {
    auto* source = reinterpret_cast<TSuspendingSource*>(decoder->src);
    if (count <= 0) {
        return;
    }
    const auto wanted = static_cast<std::size_t>(count);
    if (wanted <= source->Manager.bytes_in_buffer) {
        source->Manager.next_input_byte += wanted;
        source->Manager.bytes_in_buffer -= wanted;
    } else {
        source->SkipPending += wanted - source->Manager.bytes_in_buffer;
        source->Manager.next_input_byte += source->Manager.bytes_in_buffer;
        source->Manager.bytes_in_buffer = 0;
    }
}

struct TJpegErrorManager {
    jpeg_error_mgr Manager{};
    std::jmp_buf Return{};
};

void JpegMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX] = {};
    (*info->err->format_message)(info, text);
    PlatformLog("libjpeg", text);
}

[[noreturn]] void JpegFatal(j_common_ptr info) {
    JpegMessage(info);
    std::longjmp(reinterpret_cast<TJpegErrorManager*>(info->err)->Return, 1);
}

class TJpegDecoder final : public TIncrementalDecoder {
public:
    TJpegDecoder() {
        FDecoder.err = jpeg_std_error(&FErrors.Manager);
        FErrors.Manager.error_exit = &JpegFatal;
        FErrors.Manager.output_message = &JpegMessage;
        jpeg_create_decompress(&FDecoder);
        FSource.Manager.init_source = &SourceInit;
        FSource.Manager.fill_input_buffer = &SourceFill;
        FSource.Manager.skip_input_data = &SourceSkip;
        FSource.Manager.resync_to_restart = &jpeg_resync_to_restart;
        FSource.Manager.term_source = &SourceTerm;
        FDecoder.src = &FSource.Manager;
    }
    ~TJpegDecoder() override { jpeg_destroy_decompress(&FDecoder); }
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;

    bool Feed(std::span<const std::uint8_t> bytes) override {
        if (FBroken || FStage == TStage::Done) {
            return !FBroken;
        }
        Append(bytes);
        if (setjmp(FErrors.Return) != 0) {
            FBroken = true;
            return false;
        }
        Advance();
        return true;
    }
    bool HeaderKnown() const override { return FStage != TStage::Header; }
    const TImageFileInfo& Info() const override { return FInfo; }
    bool Complete() const override { return FStage == TStage::Done; }
    int RowsDone() const override { return FRowsDone; }
    TBitmap TakeBitmap() override {
        if (FStage != TStage::Done) {
            return {};
        }
        return RowsToBitmap(FRows, FInfo.Width, FInfo.Height, FChannels, false, FInfo.XResolution, FInfo.YResolution);
    }

private:
    enum class TStage { Header, Start, Rows, Finish, Done };

    // Keeps the bytes libjpeg has not consumed yet and adds the new ones.
    void Append(std::span<const std::uint8_t> bytes) {
        std::size_t skip = std::min(FSource.SkipPending, bytes.size());
        FSource.SkipPending -= skip;
        bytes = bytes.subspan(skip);
        std::vector<std::uint8_t>& buffer = FSource.Bytes;
        const std::size_t unread = FSource.Manager.bytes_in_buffer;
        if (unread > 0 && FSource.Manager.next_input_byte != buffer.data()) {
            std::memmove(buffer.data(), FSource.Manager.next_input_byte, unread);
        }
        buffer.resize(unread);
        buffer.insert(buffer.end(), bytes.begin(), bytes.end());
        FSource.Manager.next_input_byte = buffer.data();
        FSource.Manager.bytes_in_buffer = buffer.size();
    }

    // Runs libjpeg as far as the bytes go; every call may suspend.
    void Advance() {
        if (FStage == TStage::Header) {
            if (jpeg_read_header(&FDecoder, TRUE) != JPEG_HEADER_OK) {
                return;
            }
            FInfo.Format = kFormatJpeg;
            FInfo.TotalPages = 1;
            FInfo.Width = static_cast<int>(FDecoder.image_width);
            FInfo.Height = static_cast<int>(FDecoder.image_height);
            FChannels = FDecoder.num_components == 1 ? 1 : 3;
            FInfo.BitsPerPixel = FChannels == 1 ? 8 : 24;
            if (FDecoder.saw_JFIF_marker && FDecoder.density_unit == 1) {
                FInfo.XResolution = FDecoder.X_density;
                FInfo.YResolution = FDecoder.Y_density;
            }
            if (!ImageSizeAcceptable(FInfo.Width, FInfo.Height, 32)) {
                PlatformLog("TIncrementalDecoder", "JPEG refused: size beyond the limits");
                FBroken = true;
                return;
            }
            FDecoder.out_color_space = FChannels == 1 ? JCS_GRAYSCALE : JCS_RGB;
            FRows.assign(static_cast<std::size_t>(FInfo.Width) * static_cast<std::size_t>(FInfo.Height) *
                             static_cast<std::size_t>(FChannels),
                         255);
            FStage = TStage::Start;
        }
        if (FStage == TStage::Start) {
            if (jpeg_start_decompress(&FDecoder) == FALSE) {
                return;
            }
            FStage = TStage::Rows;
        }
        if (FStage == TStage::Rows) {
            const std::size_t rowBytes = static_cast<std::size_t>(FInfo.Width) * static_cast<std::size_t>(FChannels);
            while (FDecoder.output_scanline < FDecoder.output_height) {
                JSAMPROW row = FRows.data() + static_cast<std::size_t>(FDecoder.output_scanline) * rowBytes;
                if (jpeg_read_scanlines(&FDecoder, &row, 1) != 1) {
                    return;
                }
                FRowsDone = static_cast<int>(FDecoder.output_scanline);
            }
            FStage = TStage::Finish;
        }
        if (FStage == TStage::Finish) {
            if (jpeg_finish_decompress(&FDecoder) == FALSE) {
                return;
            }
            FStage = TStage::Done;
        }
    }

    jpeg_decompress_struct FDecoder{};
    TJpegErrorManager FErrors;
    TSuspendingSource FSource;
    TImageFileInfo FInfo;
    std::vector<std::uint8_t> FRows;
    int FChannels = 3;
    int FRowsDone = 0;
    TStage FStage = TStage::Header;
    bool FBroken = false;
};

// ---------------------------------------------------------------- JBIG

// JBIG-KIT takes its input in pieces of any size by itself.
class TJbigDecoder final : public TIncrementalDecoder {
public:
    TJbigDecoder() {
        jbg_dec_init(&FState);
        jbg_dec_maxsize(&FState, kMaxImageSide, kMaxImageSide);
    }
    ~TJbigDecoder() override { jbg_dec_free(&FState); }
    TJbigDecoder(const TJbigDecoder&) = delete;
    TJbigDecoder& operator=(const TJbigDecoder&) = delete;

    bool Feed(std::span<const std::uint8_t> bytes) override {
        if (FBroken || FComplete) {
            return !FBroken;
        }
        if (!FHeaderKnown) {
            FHead.insert(FHead.end(), bytes.begin(), bytes.end());
            if (FHead.size() < kHeaderBytes) {
                return true;
            }
            if (!JbigHeaderInfo(FHead, FInfo) || !ImageSizeAcceptable(FInfo.Width, FInfo.Height, 1)) {
                PlatformLog("TIncrementalDecoder", "JBIG refused: no readable header or size beyond the limits");
                FBroken = true;
                return false;
            }
            FHeaderKnown = true;
            std::vector<std::uint8_t> head;
            head.swap(FHead);
            return Decode(head);
        }
        return Decode(bytes);
    }
    bool HeaderKnown() const override { return FHeaderKnown; }
    const TImageFileInfo& Info() const override { return FInfo; }
    bool Complete() const override { return FComplete; }
    int RowsDone() const override { return FComplete ? FInfo.Height : 0; }
    TBitmap TakeBitmap() override {
        if (!FComplete) {
            return {};
        }
        return JbigPlaneToBitmap(jbg_dec_getimage(&FState, 0), static_cast<int>(jbg_dec_getwidth(&FState)),
                                 static_cast<int>(jbg_dec_getheight(&FState)));
    }

private:
    static constexpr std::size_t kHeaderBytes = 20;

    bool Decode(std::span<const std::uint8_t> bytes) {
        std::size_t consumed = 0;
        // JBIG-KIT reads the buffer only; its interface lacks the const.
        const int result = jbg_dec_in(&FState, const_cast<unsigned char*>(bytes.data()), bytes.size(), &consumed);
        if (result == JBG_EOK) {
            FComplete = true;
            FInfo.Width = static_cast<int>(jbg_dec_getwidth(&FState));
            FInfo.Height = static_cast<int>(jbg_dec_getheight(&FState));
        } else if (result != JBG_EAGAIN) {
            PlatformLog("TIncrementalDecoder", std::string("JBIG decoding failed: ") + jbg_strerror(result));
            FBroken = true;
        }
        return !FBroken;
    }

    jbg_dec_state FState{};
    std::vector<std::uint8_t> FHead;
    TImageFileInfo FInfo;
    bool FHeaderKnown = false;
    bool FComplete = false;
    bool FBroken = false;
};

}  // namespace

std::unique_ptr<TIncrementalDecoder> TIncrementalDecoder::Create(int format) {
    if (format == kFormatPng) {
        return std::make_unique<TPngDecoder>();
    }
    if (format == kFormatJpeg) {
        return std::make_unique<TJpegDecoder>();
    }
    if (format == kFormatJbig) {
        return std::make_unique<TJbigDecoder>();
    }
    return nullptr;
}

}  // namespace paxid
