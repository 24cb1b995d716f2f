#include "platform/imaging/JbigCodec.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/ImageFormats.h"

#include <leptonica/allheaders.h>

extern "C" {
#include <jbig.h>
}

#include <cstring>
#include <string>

namespace paxid {

namespace {

constexpr std::size_t kHeaderSize = 20;

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

// The decoder state owns buffers of its own; this frees them on every path.
class TJbigDecoder {
public:
    TJbigDecoder() { jbg_dec_init(&FState); }
    ~TJbigDecoder() { jbg_dec_free(&FState); }
    TJbigDecoder(const TJbigDecoder&) = delete;
    TJbigDecoder& operator=(const TJbigDecoder&) = delete;
    jbg_dec_state* Get() { return &FState; }

private:
    jbg_dec_state FState{};
};

// Collects the encoder's output; no exception may leave this C callback.
struct TOutputSink {
    std::vector<std::uint8_t>* Output;
    bool Failed = false;
};

void CollectOutput(unsigned char* start, std::size_t length, void* file) noexcept {
    auto* sink = static_cast<TOutputSink*>(file);
    try {
        sink->Output->insert(sink->Output->end(), start, start + length);
    } catch (...) {
        sink->Failed = true;
    }
}

}  // namespace

bool JbigHeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info) {
    if (data.size() < kHeaderSize) {
        return false;
    }
    const std::uint8_t* header = data.data();
    const int lowestLayer = header[0];
    const int layers = header[1];
    const int planes = header[2];
    const std::uint32_t width = BigEndian32(header + 4);
    const std::uint32_t height = BigEndian32(header + 8);
    const std::uint32_t stripeRows = BigEndian32(header + 12);
    const bool plausible = header[3] == 0 && planes == 1 && lowestLayer <= layers && layers < 32 && width > 0 &&
                           height > 0 && stripeRows > 0 && header[16] <= 127 && header[17] == 0 &&
                           (header[18] & 0xF0) == 0 && (header[19] & 0x80) == 0;
    if (!plausible) {
        return false;
    }
    info.Format = kFormatJbig;
    info.TotalPages = 1;
    info.Width = static_cast<int>(std::min<std::uint32_t>(width, 0x7fffffff));
    info.Height = static_cast<int>(std::min<std::uint32_t>(height, 0x7fffffff));
    info.BitsPerPixel = 1;
    info.XResolution = 0;
    info.YResolution = 0;
    return true;
}

int JbigDecode(std::span<const std::uint8_t> data, TBitmap& bitmap) {
    TImageFileInfo info;
    if (!JbigHeaderInfo(data, info) || !ImageSizeAcceptable(info.Width, info.Height, 1)) {
        return kImagingFailure;
    }
    TJbigDecoder decoder;
    jbg_dec_maxsize(decoder.Get(), kMaxImageSide, kMaxImageSide);
    std::size_t consumed = 0;
    // JBIG-KIT reads the buffer only; its interface lacks the const.
    auto* bytes = const_cast<unsigned char*>(data.data());
    const int result = jbg_dec_in(decoder.Get(), bytes, data.size(), &consumed);
    if (result != JBG_EOK) {
        PlatformLog("JbigCodec", std::string("decoding failed: ") + jbg_strerror(result));
        return kImagingFailure;
    }
    const auto width = static_cast<int>(jbg_dec_getwidth(decoder.Get()));
    const auto height = static_cast<int>(jbg_dec_getheight(decoder.Get()));
    const unsigned char* plane = jbg_dec_getimage(decoder.Get(), 0);
    if (plane == nullptr || width <= 0 || height <= 0 || !ImageSizeAcceptable(width, height, 1)) {
        return kImagingFailure;
    }
    TBitmap decoded = JbigPlaneToBitmap(plane, width, height);
    if (decoded.IsEmpty()) {
        return kImagingFailure;
    }
    bitmap = std::move(decoded);
    return kImagingSuccess;
}

TBitmap JbigPlaneToBitmap(const unsigned char* plane, int width, int height) {
    TBitmap decoded(pixCreate(width, height, 1));
    if (decoded.IsEmpty() || plane == nullptr) {
        return {};
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
    const std::size_t stride = static_cast<std::size_t>(pixGetWpl(decoded.Get())) * 4;
    auto* raster = reinterpret_cast<std::uint8_t*>(pixGetData(decoded.Get()));
    for (int y = 0; y < height; ++y) {
        std::memcpy(raster + static_cast<std::size_t>(y) * stride, plane + static_cast<std::size_t>(y) * rowBytes,
                    rowBytes);
    }
    // JBIG rows are bytes, most significant pixel first, 1 = black: Leptonica's
    // bit order once its 32-bit words are swapped into place.
    pixEndianByteSwap(decoded.Get());
    pixSetPadBits(decoded.Get(), 0);
    return decoded;
}

bool JbigEncode(const TBitmap& bitmap, std::vector<std::uint8_t>& output) {
    if (bitmap.IsEmpty() || bitmap.BitsPerPixel() != 1) {
        return false;
    }
    TBitmap swapped(pixEndianByteSwapNew(bitmap.Get()));
    if (swapped.IsEmpty()) {
        return false;
    }
    const auto width = static_cast<std::size_t>(bitmap.Width());
    const auto height = static_cast<std::size_t>(bitmap.Height());
    const std::size_t rowBytes = (width + 7) / 8;
    const std::size_t stride = static_cast<std::size_t>(pixGetWpl(swapped.Get())) * 4;
    const auto* raster = reinterpret_cast<const std::uint8_t*>(pixGetData(swapped.Get()));
    std::vector<unsigned char> plane(rowBytes * height);
    for (std::size_t y = 0; y < height; ++y) {
        std::memcpy(plane.data() + y * rowBytes, raster + y * stride, rowBytes);
    }
    unsigned char* planes[1] = {plane.data()};
    output.clear();
    TOutputSink sink{&output};
    jbg_enc_state encoder{};
    jbg_enc_init(&encoder, width, height, 1, planes, &CollectOutput, &sink);
    jbg_enc_out(&encoder);
    jbg_enc_free(&encoder);
    return !sink.Failed && !output.empty();
}

}  // namespace paxid
