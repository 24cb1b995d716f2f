// Template bodies of ProcessingSupport.h.

#include <leptonica/allheaders.h>

#include <algorithm>
#include <vector>

namespace paxid::processing {

// Samples of one row as bytes: channel c of pixel x is at x * channels + c.
inline void ReadRow(Pix* pix, int y, int channels, std::vector<std::uint8_t>& row) {
    const int width = pixGetWidth(pix);
    const l_uint32* line = pixGetData(pix) + static_cast<std::size_t>(y) * pixGetWpl(pix);
    row.resize(static_cast<std::size_t>(width) * channels);
    if (channels == 1) {
        for (int x = 0; x < width; ++x) {
            row[x] = static_cast<std::uint8_t>(GET_DATA_BYTE(line, x));
        }
    } else {
        for (int x = 0; x < width; ++x) {
            const l_uint32 word = line[x];
            row[3 * x] = static_cast<std::uint8_t>(word >> 24);
            row[3 * x + 1] = static_cast<std::uint8_t>(word >> 16);
            row[3 * x + 2] = static_cast<std::uint8_t>(word >> 8);
        }
    }
}

inline void WriteRow(Pix* pix, int y, int channels, const std::vector<std::uint8_t>& row) {
    const int width = pixGetWidth(pix);
    l_uint32* line = pixGetData(pix) + static_cast<std::size_t>(y) * pixGetWpl(pix);
    if (channels == 1) {
        for (int x = 0; x < width; ++x) {
            SET_DATA_BYTE(line, x, row[x]);
        }
    } else {
        for (int x = 0; x < width; ++x) {
            line[x] = (l_uint32{row[3 * x]} << 24) | (l_uint32{row[3 * x + 1]} << 16) |
                      (l_uint32{row[3 * x + 2]} << 8) | 0xFFu;
        }
    }
}

template <typename TFunction>
TBitmap Map3x3(const TBitmap& source, TFunction fn) {
    Pix* sourcePix = source.Get();
    const int width = pixGetWidth(sourcePix);
    const int height = pixGetHeight(sourcePix);
    const int channels = pixGetDepth(sourcePix) == 8 ? 1 : 3;
    TBitmap result(pixCreateTemplate(sourcePix));
    if (result.IsEmpty()) {
        return result;
    }
    std::vector<std::uint8_t> rows[3];
    std::vector<std::uint8_t> output;
    output.resize(static_cast<std::size_t>(width) * channels);
    ReadRow(sourcePix, 0, channels, rows[1]);
    rows[0] = rows[1];
    for (int y = 0; y < height; ++y) {
        ReadRow(sourcePix, std::min(y + 1, height - 1), channels, rows[2]);
        std::uint8_t neighbourhood[9];
        for (int x = 0; x < width; ++x) {
            const int left = std::max(x - 1, 0);
            const int right = std::min(x + 1, width - 1);
            for (int c = 0; c < channels; ++c) {
                for (int r = 0; r < 3; ++r) {
                    const std::uint8_t* row = rows[r].data();
                    neighbourhood[3 * r] = row[left * channels + c];
                    neighbourhood[3 * r + 1] = row[x * channels + c];
                    neighbourhood[3 * r + 2] = row[right * channels + c];
                }
                output[x * channels + c] = fn(neighbourhood);
            }
        }
        WriteRow(result.Get(), y, channels, output);
        std::swap(rows[0], rows[1]);
        std::swap(rows[1], rows[2]);
    }
    return result;
}

}  // namespace paxid::processing
