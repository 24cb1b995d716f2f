#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/IncrementalDecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace paxid {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& path) {
    const std::string text = test::ReadFile(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Feeds data in chunks; returns the decoder.
std::unique_ptr<TIncrementalDecoder> FeedInChunks(int format, const std::vector<std::uint8_t>& data, std::size_t chunk,
                                                  std::size_t limit) {
    auto decoder = TIncrementalDecoder::Create(format);
    for (std::size_t at = 0; at < std::min(limit, data.size()); at += chunk) {
        const std::size_t count = std::min({chunk, data.size() - at, limit - at});
        if (!decoder->Feed(std::span<const std::uint8_t>(data).subspan(at, count))) {
            break;
        }
    }
    return decoder;
}

TEST(IncrementalDecoder, DecodesAsTheWholeFileDecoderDoes) {
    struct TCase {
        const char* Name;
        const char* FileName;
        const char* Options;
        int Format;
    };
    const TCase cases[] = {
        {"png colour", "rgb.png", "-define png:color-type=2 -noise 4", kFormatPng},
        {"png gray", "gray.png", "-define png:color-type=0 -define png:bit-depth=8", kFormatPng},
        {"png bitonal", "mono.png", "-monochrome", kFormatPng},
        {"png palette", "palette.png", "-define png:color-type=3", kFormatPng},
        {"png interlaced", "adam7.png", "-define png:color-type=2 -interlace PNG", kFormatPng},
        {"png with alpha", "alpha.png", "-alpha set -channel A -evaluate set 50% +channel", kFormatPng},
        {"jpeg baseline", "base.jpg", "-type TrueColor -quality 90", kFormatJpeg},
        {"jpeg progressive", "prog.jpg", "-type TrueColor -interlace JPEG", kFormatJpeg},
        {"jpeg gray", "gray.jpg", "-type Grayscale", kFormatJpeg},
        {"jbig", "page.jbg", "", kFormatJbig},
    };
    test::TScratchFolder folder;
    const std::string pbm = folder / "page.pbm";
    ASSERT_TRUE(test::MakeTestImage(pbm, 120, 90, "-monochrome"));
    ASSERT_EQ(test::RunCommand("pbmtojbg '" + pbm + "' '" + (folder / "page.jbg") + "'"), 0);
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        const std::string path = folder / item.FileName;
        if (item.Format != kFormatJbig) {
            ASSERT_TRUE(test::MakeTestImage(path, 120, 90, item.Options));
        }
        const std::vector<std::uint8_t> data = Bytes(path);
        auto decoder = FeedInChunks(item.Format, data, 97, data.size());
        ASSERT_TRUE(decoder->HeaderKnown());
        ASSERT_TRUE(decoder->Complete());
        EXPECT_EQ(decoder->RowsDone(), 90);
        EXPECT_EQ(decoder->Info().Width, 120);
        const TBitmap incremental = decoder->TakeBitmap();
        TBitmap whole;
        ASSERT_EQ(LoadPageMemory(data, 1, whole), kImagingSuccess);
        EXPECT_EQ(incremental.BitsPerPixel(), whole.BitsPerPixel());
        EXPECT_TRUE(test::SamePixels(incremental, whole));
    }
}

TEST(IncrementalDecoder, RowsAreDecodedBeforeTheLastByte) {
    test::TScratchFolder folder;
    for (const auto& [name, format] : {std::pair{"rows.png", kFormatPng}, std::pair{"rows.jpg", kFormatJpeg}}) {
        SCOPED_TRACE(name);
        const std::string path = folder / name;
        // Noise compresses evenly, so half the bytes hold about half the rows.
        ASSERT_EQ(test::RunCommand(test::kConvert + " -seed 3 -size 300x400 xc:gray +noise Random -quality 92 '" + path +
                                   "'"),
                  0);
        const std::vector<std::uint8_t> data = Bytes(path);
        auto decoder = FeedInChunks(format, data, 1024, data.size() / 2);
        EXPECT_TRUE(decoder->HeaderKnown());
        EXPECT_FALSE(decoder->Complete());
        EXPECT_GT(decoder->RowsDone(), 50);
        EXPECT_LT(decoder->RowsDone(), 400);
        EXPECT_TRUE(decoder->TakeBitmap().IsEmpty());
    }
}

TEST(IncrementalDecoder, BrokenOrHugeDataStopsTheDecoder) {
    std::vector<std::uint8_t> garbage(4000, 0x5a);
    garbage[0] = 0x89;
    garbage[1] = 'P';
    garbage[2] = 'N';
    garbage[3] = 'G';
    EXPECT_FALSE(TIncrementalDecoder::Create(kFormatPng)->Feed(garbage));
    std::vector<std::uint8_t> jpegGarbage(4000, 0x33);
    jpegGarbage[0] = 0xff;
    jpegGarbage[1] = 0xd8;
    auto jpeg = TIncrementalDecoder::Create(kFormatJpeg);
    jpeg->Feed(jpegGarbage);
    EXPECT_FALSE(jpeg->Complete());
    EXPECT_EQ(TIncrementalDecoder::Create(kFormatTiff), nullptr);

    // A PNG header announcing 100000 x 100000 pixels.
    test::TScratchFolder folder;
    const std::string path = folder / "small.png";
    ASSERT_TRUE(test::MakeTestImage(path, 40, 30, "-define png:color-type=2"));
    std::vector<std::uint8_t> huge = Bytes(path);
    const std::uint8_t size[8] = {0, 1, 0x86, 0xa0, 0, 1, 0x86, 0xa0};
    std::copy(std::begin(size), std::end(size), huge.begin() + 16);
    // The header checksum is left as it was: libpng refuses it either way,
    // and must do so without taking the memory.
    auto decoder = TIncrementalDecoder::Create(kFormatPng);
    EXPECT_FALSE(decoder->Feed(huge));
    EXPECT_FALSE(decoder->Complete());
}

}  // namespace
}  // namespace paxid
