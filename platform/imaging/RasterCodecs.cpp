#include "platform/imaging/RasterCodecs.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/ImageFormats.h"

#include <leptonica/allheaders.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace paxid {

namespace {

// libjpeg reports through these; a fatal error jumps back to the decode call,
// which holds no C++ object that needs unwinding between setjmp and the jump.
struct TJpegErrors {
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
    std::longjmp(reinterpret_cast<TJpegErrors*>(info->err)->Return, 1);
}

// Reads the header and, when pixels is given, the whole image into it.
bool JpegRun(std::span<const std::uint8_t> data, TImageFileInfo& info, TBitmap* pixels) {
    if (data.size() < 4) {
        return false;
    }
    jpeg_decompress_struct decoder{};
    TJpegErrors errors;
    decoder.err = jpeg_std_error(&errors.Manager);
    errors.Manager.error_exit = &JpegFatal;
    errors.Manager.output_message = &JpegMessage;
    // Everything the jump may leave behind is declared before setjmp: the row
    // buffer is destroyed normally, the raster freed here.
    std::vector<JSAMPLE> row;
    Pix* volatile raster = nullptr;
    if (setjmp(errors.Return) != 0) {
        jpeg_destroy_decompress(&decoder);
        Pix* owned = raster;
        pixDestroy(&owned);
        return false;
    }
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&decoder, TRUE);
    const bool gray = decoder.num_components == 1;
    info.Format = kFormatJpeg;
    info.TotalPages = 1;
    info.Width = static_cast<int>(decoder.image_width);
    info.Height = static_cast<int>(decoder.image_height);
    info.BitsPerPixel = gray ? 8 : 24;
    info.XResolution = 0;
    info.YResolution = 0;
    if (decoder.saw_JFIF_marker && decoder.X_density > 0 && decoder.Y_density > 0) {
        if (decoder.density_unit == 1) {
            info.XResolution = decoder.X_density;
            info.YResolution = decoder.Y_density;
        } else if (decoder.density_unit == 2) {
            info.XResolution = static_cast<int>(decoder.X_density * 2.54 + 0.5);
            info.YResolution = static_cast<int>(decoder.Y_density * 2.54 + 0.5);
        }
    }
    if (pixels == nullptr) {
        jpeg_destroy_decompress(&decoder);
        return true;
    }
    if (!ImageSizeAcceptable(info.Width, info.Height, 32)) {
        PlatformLog("RasterCodecs", "JPEG refused: size beyond the limits");
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    decoder.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    raster = pixCreate(info.Width, info.Height, gray ? 8 : 32);
    if (raster == nullptr) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    jpeg_start_decompress(&decoder);
    row.resize(static_cast<std::size_t>(info.Width) * (gray ? 1 : 3));
    l_uint32* lines = pixGetData(raster);
    const int wordsPerLine = pixGetWpl(raster);
    while (decoder.output_scanline < decoder.output_height) {
        const int y = static_cast<int>(decoder.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&decoder, rows, 1) != 1) {
            break;
        }
        l_uint32* line = lines + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < info.Width; ++x) {
            if (gray) {
                SET_DATA_BYTE(line, x, row[static_cast<std::size_t>(x)]);
            } else {
                const JSAMPLE* rgb = row.data() + static_cast<std::ptrdiff_t>(x) * 3;
                line[x] = (l_uint32{rgb[0]} << 24) | (l_uint32{rgb[1]} << 16) | (l_uint32{rgb[2]} << 8);
            }
        }
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    *pixels = TBitmap(raster);
    if (!gray) {
        pixSetSpp(pixels->Get(), 3);
    }
    pixels->SetResolution(info.XResolution, info.YResolution);
    return true;
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

// The pHYs chunk, when present before the image data, in dots per inch.
void PngResolution(std::span<const std::uint8_t> data, TImageFileInfo& info) {
    std::size_t at = 8;
    while (at + 12 <= data.size()) {
        const std::uint32_t length = BigEndian32(data.data() + at);
        const std::string_view type(reinterpret_cast<const char*>(data.data() + at + 4), 4);
        if (type == "IDAT" || length > data.size()) {
            return;
        }
        if (type == "pHYs" && length == 9 && at + 8 + 9 <= data.size()) {
            const std::uint8_t* body = data.data() + at + 8;
            if (body[8] == 1) {
                info.XResolution = static_cast<int>(BigEndian32(body) * 0.0254 + 0.5);
                info.YResolution = static_cast<int>(BigEndian32(body + 4) * 0.0254 + 0.5);
            }
            return;
        }
        at += 12 + static_cast<std::size_t>(length);
    }
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
           (std::uint32_t{bytes[3]} << 24);
}

// One colour channel of a 32-bit bitmap pixel through its mask.
std::uint32_t Channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = __builtin_ctz(mask);
    const std::uint32_t maximum = mask >> shift;
    const std::uint32_t value = (pixel & mask) >> shift;
    return maximum == 255 ? value : value * 255 / maximum;
}

constexpr std::size_t kBmpInfoOffset = 14;

}  // namespace

bool IsBmp32(std::span<const std::uint8_t> data) {
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    const std::uint32_t headerSize = LittleEndian32(data.data() + kBmpInfoOffset);
    const int bitCount = data[28] | (data[29] << 8);
    return headerSize >= 40 && bitCount == 32;
}

bool Bmp32HeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info) {
    if (!IsBmp32(data)) {
        return false;
    }
    const auto width = static_cast<std::int32_t>(LittleEndian32(data.data() + 18));
    const auto height = static_cast<std::int32_t>(LittleEndian32(data.data() + 22));
    if (width <= 0 || height == 0 || height == INT32_MIN) {
        return false;
    }
    info.Format = kFormatBmp;
    info.TotalPages = 1;
    info.Width = width;
    info.Height = height < 0 ? -height : height;
    info.BitsPerPixel = 24;
    info.XResolution = 0;
    info.YResolution = 0;
    return true;
}

int Bmp32Decode(std::span<const std::uint8_t> data, TBitmap& bitmap) {
    if (!IsBmp32(data)) {
        return kImagingFailure;
    }
    const std::uint8_t* header = data.data();
    const std::uint32_t pixelOffset = LittleEndian32(header + 10);
    const std::uint32_t headerSize = LittleEndian32(header + kBmpInfoOffset);
    const auto width = static_cast<std::int32_t>(LittleEndian32(header + 18));
    const auto signedHeight = static_cast<std::int32_t>(LittleEndian32(header + 22));
    const std::uint32_t compression = LittleEndian32(header + 30);
    const bool topDown = signedHeight < 0;
    const std::int64_t height = topDown ? -std::int64_t{signedHeight} : signedHeight;
    std::uint32_t red = 0x00ff0000;
    std::uint32_t green = 0x0000ff00;
    std::uint32_t blue = 0x000000ff;
    if (compression == 3 && data.size() >= kBmpInfoOffset + std::max<std::uint32_t>(headerSize, 40) + 12) {
        red = LittleEndian32(header + 54);
        green = LittleEndian32(header + 58);
        blue = LittleEndian32(header + 62);
    } else if (compression != 0) {
        return kImagingFailure;
    }
    if (!ImageSizeAcceptable(width, height, 32) ||
        std::uint64_t{pixelOffset} + std::uint64_t(width) * 4 * std::uint64_t(height) > data.size()) {
        PlatformLog("RasterCodecs", "BMP refused: size beyond the limits or the data");
        return kImagingFailure;
    }
    TBitmap decoded(pixCreate(width, static_cast<int>(height), 32));
    if (decoded.IsEmpty()) {
        return kImagingFailure;
    }
    pixSetSpp(decoded.Get(), 3);
    l_uint32* lines = pixGetData(decoded.Get());
    const int wordsPerLine = pixGetWpl(decoded.Get());
    for (std::int64_t row = 0; row < height; ++row) {
        const std::int64_t y = topDown ? row : height - 1 - row;
        const std::uint8_t* source = header + pixelOffset + row * std::int64_t{width} * 4;
        l_uint32* line = lines + y * wordsPerLine;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = LittleEndian32(source + static_cast<std::ptrdiff_t>(x) * 4);
            line[x] = (Channel(pixel, red) << 24) | (Channel(pixel, green) << 16) | (Channel(pixel, blue) << 8);
        }
    }
    const auto toDpi = [](std::uint32_t pixelsPerMetre) { return static_cast<int>(pixelsPerMetre * 0.0254 + 0.5); };
    decoded.SetResolution(toDpi(LittleEndian32(header + 38)), toDpi(LittleEndian32(header + 42)));
    bitmap = std::move(decoded);
    return kImagingSuccess;
}

bool JpegHeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info) { return JpegRun(data, info, nullptr); }

int JpegDecode(std::span<const std::uint8_t> data, TBitmap& bitmap) {
    TImageFileInfo info;
    TBitmap decoded;
    if (!JpegRun(data, info, &decoded) || decoded.IsEmpty()) {
        return kImagingFailure;
    }
    bitmap = std::move(decoded);
    return kImagingSuccess;
}

bool PngHeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info) {
    if (data.size() < 33 || std::memcmp(data.data() + 12, "IHDR", 4) != 0) {
        return false;
    }
    const std::uint32_t width = BigEndian32(data.data() + 16);
    const std::uint32_t height = BigEndian32(data.data() + 20);
    const int bitDepth = data[24];
    const int colourType = data[25];
    if (width == 0 || height == 0 || width > 0x7fffffffU || height > 0x7fffffffU) {
        return false;
    }
    info.Format = kFormatPng;
    info.TotalPages = 1;
    info.Width = static_cast<int>(width);
    info.Height = static_cast<int>(height);
    info.BitsPerPixel = (colourType == 0 && bitDepth == 1) ? 1 : ((colourType == 0 || colourType == 4) ? 8 : 24);
    if (colourType == 3) {
        info.BitsPerPixel = 8;  // palette pages are shown as gray or colour after decoding
    }
    info.XResolution = 0;
    info.YResolution = 0;
    PngResolution(data, info);
    return true;
}

int PngDecode(std::span<const std::uint8_t> data, TBitmap& bitmap) {
    TImageFileInfo info;
    if (!PngHeaderInfo(data, info) || !ImageSizeAcceptable(info.Width, info.Height, 32)) {
        PlatformLog("RasterCodecs", "PNG refused: no readable header or size beyond the limits");
        return kImagingFailure;
    }
    // The simplified reader keeps its warnings in image.message, never on the terminal.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, data.data(), data.size()) == 0) {
        PlatformLog("libpng", image.message);
        return kImagingFailure;
    }
    const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    const png_color white{255, 255, 255};
    const std::size_t stride = PNG_IMAGE_ROW_STRIDE(image);
    std::vector<std::uint8_t> buffer(PNG_IMAGE_BUFFER_SIZE(image, stride));
    if (png_image_finish_read(&image, &white, buffer.data(), static_cast<png_int_32>(stride), nullptr) == 0) {
        PlatformLog("libpng", image.message);
        png_image_free(&image);
        return kImagingFailure;
    }
    if ((image.warning_or_error & PNG_IMAGE_WARNING) != 0) {
        PlatformLog("libpng", image.message);
    }
    const auto width = static_cast<int>(image.width);
    const auto height = static_cast<int>(image.height);
    TBitmap decoded(pixCreate(width, height, colour ? 32 : 8));
    if (decoded.IsEmpty()) {
        return kImagingFailure;
    }
    l_uint32* lines = pixGetData(decoded.Get());
    const int wordsPerLine = pixGetWpl(decoded.Get());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = buffer.data() + static_cast<std::size_t>(y) * stride;
        l_uint32* line = lines + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < width; ++x) {
            if (colour) {
                const std::uint8_t* rgb = row + static_cast<std::ptrdiff_t>(x) * 3;
                line[x] = (l_uint32{rgb[0]} << 24) | (l_uint32{rgb[1]} << 16) | (l_uint32{rgb[2]} << 8);
            } else {
                SET_DATA_BYTE(line, x, row[x]);
            }
        }
    }
    if (colour) {
        pixSetSpp(decoded.Get(), 3);
    } else if (info.BitsPerPixel == 1) {
        decoded = TBitmap(pixThresholdToBinary(decoded.Get(), 128));
        if (decoded.IsEmpty()) {
            return kImagingFailure;
        }
    }
    decoded.SetResolution(info.XResolution, info.YResolution);
    bitmap = std::move(decoded);
    return kImagingSuccess;
}

}  // namespace paxid
