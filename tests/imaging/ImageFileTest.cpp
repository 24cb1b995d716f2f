#include "imaging/ImagingTestSupport.h"
#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <random>
#include <vector>

namespace paxid {
namespace {

using test::kConvert;
using test::MakeTestImage;
using test::RunCommand;

const TColor kBlack{0, 0, 0};
const TColor kWhite{255, 255, 255};

class ImageFileTest : public ::testing::Test {
protected:
    test::TScratchFolder Folder;
};

struct TFormatCase {
    const char* Name;
    const char* FileName;
    const char* Options;   // ImageMagick output options
    int Format;
    int BitsPerPixel;
    bool Lossy;
};

// Every format the viewer opens, written by an independent tool.
TEST_F(ImageFileTest, LoadsEachFormatAtItsStoredDepth) {
    const TFormatCase cases[] = {
        {"tiff group 4", "g4.tif", "-monochrome -compress Group4 -density 300 -units PixelsPerInch", kFormatTiffG4, 1, false},
        {"tiff group 3", "g3.tif", "-monochrome -compress Fax", kFormatTiffG3, 1, false},
        {"tiff lzw colour", "lzw.tif", "-type TrueColor -compress LZW", kFormatTiffLzw, 24, false},
        {"tiff deflate gray", "zip.tif", "-type Grayscale -depth 8 -compress Zip", kFormatTiff, 8, false},
        {"tiff packbits", "rle.tif", "-type TrueColor -compress RLE", kFormatTiff, 24, false},
        {"tiff 16-bit gray", "gray16.tif", "-type Grayscale -depth 16 -compress None", kFormatTiff, 8, false},
        {"tiff uncompressed bitonal", "none.tif", "-monochrome -depth 1 -compress None", kFormatTiff, 1, false},
        {"tiff jpeg", "jpeg.tif", "-type TrueColor -compress JPEG -quality 95", kFormatTiffJpeg, 24, true},
        {"jpeg colour", "page.jpg", "-type TrueColor -quality 95", kFormatJpeg, 24, true},
        {"jpeg gray", "gray.jpg", "-type Grayscale -quality 95", kFormatJpeg, 8, true},
        {"png palette", "palette.png", "-define png:color-type=3", kFormatPng, 24, false},
        {"png gray", "gray.png", "-define png:color-type=0 -define png:bit-depth=8", kFormatPng, 8, false},
        {"png colour", "rgb.png", "-define png:color-type=2", kFormatPng, 24, false},
        {"png bitonal", "mono.png", "-monochrome", kFormatPng, 1, false},
        {"gif two colours", "page.gif", "", kFormatGif, 1, false},
        {"bmp", "page.bmp", "-type TrueColor", kFormatBmp, 24, false},
        {"bmp 32 bits", "page32.bmp", "-type TrueColorAlpha", kFormatBmp, 24, false},
        {"webp", "page.webp", "-define webp:lossless=true", kFormatWebP, 24, false},
    };
    for (const TFormatCase& item : cases) {
        SCOPED_TRACE(item.Name);
        const std::string path = Folder / item.FileName;
        ASSERT_TRUE(MakeTestImage(path, 64, 48, item.Options));
        TImageFileInfo info;
        ASSERT_EQ(FileInfo(path, 0, info), kImagingSuccess);
        EXPECT_EQ(info.Format, item.Format);
        EXPECT_EQ(info.TotalPages, 1);
        TBitmap bitmap;
        ASSERT_EQ(LoadPage(path, 1, bitmap, &info), kImagingSuccess);
        EXPECT_EQ(bitmap.BitsPerPixel(), item.BitsPerPixel);
        EXPECT_EQ(bitmap.Width(), 64);
        EXPECT_EQ(bitmap.Height(), 48);
        const TColor inside = bitmap.PixelColor(20, 15);
        const TColor outside = bitmap.PixelColor(50, 40);
        if (item.Lossy) {
            EXPECT_LT(inside.Red + inside.Green + inside.Blue, 60);
            EXPECT_GT(outside.Red + outside.Green + outside.Blue, 700);
        } else {
            EXPECT_EQ(inside, kBlack);
            EXPECT_EQ(outside, kWhite);
            EXPECT_EQ(bitmap.PixelColor(9, 8), kWhite);
            EXPECT_EQ(bitmap.PixelColor(10, 8), kBlack);
            EXPECT_EQ(bitmap.PixelColor(29, 23), kBlack);
            EXPECT_EQ(bitmap.PixelColor(30, 23), kWhite);
        }
    }
    TBitmap g4;
    ASSERT_EQ(LoadPage(Folder / "g4.tif", 0, g4), kImagingSuccess);
    EXPECT_EQ(g4.XResolution(), 300);
    EXPECT_EQ(g4.YResolution(), 300);
}

// PDF pages come rasterised at 200 dpi in colour, whatever the source was.
TEST_F(ImageFileTest, RasterisesPdfPagesAt200Dpi) {
    const std::string tiff = Folder / "page.tif";
    const std::string pdf = Folder / "page.pdf";
    ASSERT_TRUE(MakeTestImage(tiff, 144, 72, "-monochrome -compress Group4 -density 72 -units PixelsPerInch", 0, 0,
                              71, 71));
    ASSERT_EQ(RunCommand("tiff2pdf -o '" + pdf + "' '" + tiff + "'"), 0);
    TImageFileInfo info;
    ASSERT_EQ(FileInfo(pdf, 0, info), kImagingSuccess);
    EXPECT_EQ(info.Format, kFormatPdf);
    EXPECT_EQ(info.TotalPages, 1);
    TBitmap page;
    ASSERT_EQ(LoadPage(pdf, 1, page), kImagingSuccess);
    EXPECT_EQ(page.Width(), 400);  // two inches
    EXPECT_EQ(page.Height(), 200);
    EXPECT_EQ(page.BitsPerPixel(), 24);
    EXPECT_EQ(page.XResolution(), 200);
    EXPECT_EQ(page.PixelColor(50, 100), kBlack);
    EXPECT_EQ(page.PixelColor(350, 100), kWhite);
}

TEST_F(ImageFileTest, ReadsJbigMadeByJbigKitTools) {
    const std::string pbm = Folder / "page.pbm";
    const std::string jbig = Folder / "page.jbg";
    ASSERT_TRUE(MakeTestImage(pbm, 70, 40, "-monochrome"));
    ASSERT_EQ(RunCommand("pbmtojbg '" + pbm + "' '" + jbig + "'"), 0);
    TImageFileInfo info;
    ASSERT_EQ(FileInfo(jbig, 0, info), kImagingSuccess);
    EXPECT_EQ(info.Format, kFormatJbig);
    EXPECT_EQ(info.Width, 70);
    TBitmap bitmap;
    ASSERT_EQ(LoadPage(jbig, 1, bitmap), kImagingSuccess);
    EXPECT_EQ(bitmap.BitsPerPixel(), 1);
    EXPECT_EQ(bitmap.PixelColor(10, 8), kBlack);
    EXPECT_EQ(bitmap.PixelColor(9, 8), kWhite);
    EXPECT_EQ(bitmap.PixelColor(29, 23), kBlack);
    EXPECT_EQ(bitmap.PixelColor(30, 24), kWhite);
}

TEST_F(ImageFileTest, SelectsPagesOfMultiPageFiles) {
    const std::string a = Folder / "a.tif";
    const std::string b = Folder / "b.tif";
    const std::string c = Folder / "c.tif";
    ASSERT_TRUE(MakeTestImage(a, 40, 30, "-monochrome -compress Group4"));
    ASSERT_TRUE(MakeTestImage(b, 50, 60, "-type TrueColor -depth 8 -compress LZW"));
    ASSERT_TRUE(MakeTestImage(c, 70, 20, "-monochrome -compress Group4"));
    const std::string all = Folder / "all.tif";
    ASSERT_EQ(RunCommand("tiffcp '" + a + "' '" + b + "' '" + c + "' '" + all + "'"), 0);
    const std::string pdf = Folder / "all.pdf";
    ASSERT_EQ(RunCommand("tiff2pdf -o '" + pdf + "' '" + all + "'"), 0);

    for (const std::string& path : {all, pdf}) {
        SCOPED_TRACE(path);
        TImageFileInfo info;
        ASSERT_EQ(FileInfo(path, 2, info), kImagingSuccess);
        EXPECT_EQ(info.TotalPages, 3);
        TBitmap page;
        ASSERT_EQ(LoadPage(path, 3, page), kImagingSuccess);
        EXPECT_GT(page.Width(), page.Height());
        EXPECT_EQ(LoadPage(path, 4, page), kImagingFailure);
        EXPECT_EQ(FileInfo(path, 4, info), kImagingFailure);
    }
    TImageFileInfo second;
    ASSERT_EQ(FileInfo(all, 2, second), kImagingSuccess);
    EXPECT_EQ(second.Width, 50);
    EXPECT_EQ(second.Height, 60);
    EXPECT_EQ(second.BitsPerPixel, 24);
    EXPECT_EQ(second.Format, kFormatTiffLzw);
    TBitmap page;
    ASSERT_EQ(LoadPage(all, 2, page), kImagingSuccess);
    EXPECT_EQ(page.BitsPerPixel(), 24);
    EXPECT_EQ(page.Width(), 50);
}

std::string Crc32Chunk(const std::string& type, const std::string& data);

// Hand-made headers that announce far more than they hold.
std::string PngWithSize(std::uint32_t width, std::uint32_t height) {
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    const std::string ihdr = be32(width) + be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Crc32Chunk("IHDR", ihdr);
}

std::string Crc32Chunk(const std::string& type, const std::string& data) {
    std::uint32_t crc = 0xffffffffU;
    for (const char c : type + data) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320U & (0U - (crc & 1U)));
        }
    }
    crc ^= 0xffffffffU;
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    return be32(static_cast<std::uint32_t>(data.size())) + type + data + be32(crc);
}

// A little-endian TIFF with one directory: width x height, 1 bit, G4, one
// strip of a few bytes.
std::string TiffWithSize(std::uint32_t width, std::uint32_t height) {
    std::string out("II*\0\x08\0\0\0", 8);
    auto le16 = [&out](std::uint16_t v) { out += static_cast<char>(v & 0xff); out += static_cast<char>(v >> 8); };
    auto le32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        le16(tag);
        le16(type);
        le32(1);
        le32(value);
    };
    le16(8);
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 1);
    entry(259, 3, 4);
    entry(262, 3, 0);
    entry(273, 4, 8 + 2 + 8 * 12 + 4);
    entry(278, 4, height);
    entry(279, 4, 4);
    le32(0);
    out += std::string("\0\0\0\0", 4);
    return out;
}

// A 32-bit Windows bitmap header of width x height with no pixels after it.
std::string Bmp32WithSize(std::uint32_t width, std::uint32_t height) {
    std::string out = "BM";
    auto le32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    le32(54);
    le32(0);
    le32(54);
    le32(40);
    le32(width);
    le32(height);
    out += std::string("\x01\x00\x20\x00", 4);
    for (int i = 0; i < 6; ++i) le32(0);
    return out;
}

TEST_F(ImageFileTest, RefusesBrokenAndHostileFilesWithoutCrashing) {
    const std::string good = Folder / "good.tif";
    ASSERT_TRUE(MakeTestImage(good, 300, 200, "-monochrome -compress Group4"));
    const std::string goodBytes = test::ReadFile(good);
    const std::string jpeg = Folder / "good.jpg";
    ASSERT_TRUE(MakeTestImage(jpeg, 300, 200, "-quality 90"));
    const std::string jpegBytes = test::ReadFile(jpeg);
    struct TCase {
        const char* Name;
        std::string Bytes;
    };
    const TCase cases[] = {
        {"zero bytes", ""},
        {"text with an image name", "this is not an image\n"},
        {"truncated tiff header", goodBytes.substr(0, 6)},
        {"tiff without its directory", goodBytes.substr(0, goodBytes.size() / 3)},
        {"truncated jpeg", jpegBytes.substr(0, 40)},
        {"png announcing 100000 x 100000", PngWithSize(100000, 100000)},
        {"png announcing 4 billion columns", PngWithSize(0xfffffff0U, 1)},
        {"tiff announcing 90000 x 90000", TiffWithSize(90000, 90000)},
        {"tiff announcing 4 billion rows", TiffWithSize(1, 0xffffff00U)},
        {"pdf header only", "%PDF-1.4\n%%EOF\n"},
        {"32-bit bmp announcing 60000 x 60000", Bmp32WithSize(60000, 60000)},
        {"32-bit bmp with its rows missing", Bmp32WithSize(100, 100)},
        {"jbig header announcing 4 billion rows", std::string("\0\0\1\0\0\0\1\0\xff\xff\xff\x00\0\0\0\x80\x08\0\x03\x1c", 20)},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        const std::string path = Folder / "hostile.tif";
        test::WriteFile(path, item.Bytes);
        const auto start = std::chrono::steady_clock::now();
        TBitmap bitmap;
        EXPECT_EQ(LoadPage(path, 0, bitmap), kImagingFailure);
        EXPECT_TRUE(bitmap.IsEmpty());
        TImageFileInfo info;
        FileInfo(path, 0, info);
        std::vector<std::uint8_t> bytes(item.Bytes.begin(), item.Bytes.end());
        EXPECT_EQ(LoadPageMemory(bytes, 0, bitmap), kImagingFailure);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    TBitmap bitmap;
    EXPECT_EQ(LoadPage(Folder / "missing.tif", 0, bitmap), kImagingFailure);
    EXPECT_EQ(LoadPage(Folder.Path(), 0, bitmap), kImagingFailure);
}

// Library messages reach the platform log rather than the terminal.
std::mutex gLinesMutex;
std::vector<std::string> gLines;
void CollectLine(std::string_view sender, std::string_view message) {
    const std::lock_guard lock(gLinesMutex);
    gLines.push_back(std::string(sender) + ": " + std::string(message));
}

TEST_F(ImageFileTest, LibraryComplaintsGoToThePlatformLog) {
    SetPlatformLogSink(&CollectLine);
    const std::string path = Folder / "corrupt.tif";
    test::WriteFile(path, TiffWithSize(1, 0xffffff00U));
    ::testing::internal::CaptureStderr();
    TBitmap bitmap;
    LoadPage(path, 0, bitmap);
    test::WriteFile(path, std::string("II*\0\xff\xff\xff\x0f", 8));
    TImageFileInfo info;
    FileInfo(path, 0, info);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    SetPlatformLogSink(nullptr);
    EXPECT_EQ(printed, "");
    const std::lock_guard lock(gLinesMutex);
    EXPECT_FALSE(gLines.empty());
}

}  // namespace
}  // namespace paxid

namespace paxid {
namespace {

// Damaged copies of real files of every format: bytes overwritten, runs
// removed, the end cut off. None may crash, hang or leave a half-made bitmap.
TEST_F(ImageFileTest, DamagedFilesOfEveryFormatFailOrLoadCleanly) {
    struct TSource {
        const char* FileName;
        const char* Options;
    };
    const TSource sources[] = {
        {"g4.tif", "-monochrome -compress Group4"},  {"lzw.tif", "-type TrueColor -depth 8 -compress LZW"},
        {"jpeg.tif", "-type TrueColor -compress JPEG"}, {"page.png", "-type TrueColor -define png:color-type=2"},
        {"page.jpg", "-quality 80"},                  {"page.gif", ""},
        {"page.bmp", "-type TrueColor"},               {"page.webp", "-define webp:lossless=true"},
    };
    std::vector<std::string> originals;
    for (const TSource& source : sources) {
        const std::string path = Folder / source.FileName;
        ASSERT_TRUE(MakeTestImage(path, 160, 120, source.Options));
        originals.push_back(test::ReadFile(path));
    }
    const std::string pbm = Folder / "page.pbm";
    ASSERT_TRUE(MakeTestImage(pbm, 160, 120, "-monochrome"));
    ASSERT_EQ(RunCommand("pbmtojbg '" + pbm + "' '" + (Folder / "page.jbg") + "'"), 0);
    originals.push_back(test::ReadFile(Folder / "page.jbg"));
    ASSERT_EQ(RunCommand("tiff2pdf -o '" + (Folder / "page.pdf") + "' '" + (Folder / "g4.tif") + "'"), 0);
    originals.push_back(test::ReadFile(Folder / "page.pdf"));

    std::mt19937 random(1234);
    int loaded = 0;
    int refused = 0;
    for (const std::string& original : originals) {
        for (int round = 0; round < 40; ++round) {
            std::string damaged = original;
            std::uniform_int_distribution<std::size_t> position(0, damaged.size() - 1);
            switch (round % 3) {
            case 0:
                for (int count = 0; count < 1 + round / 3; ++count) {
                    damaged[position(random)] = static_cast<char>(random());
                }
                break;
            case 1: {
                const std::size_t at = position(random);
                damaged.erase(at, std::min<std::size_t>(damaged.size() - at, 1 + random() % 64));
                break;
            }
            default:
                damaged.resize(position(random));
                break;
            }
            const std::vector<std::uint8_t> bytes(damaged.begin(), damaged.end());
            TBitmap bitmap;
            TImageFileInfo info;
            if (LoadPageMemory(bytes, 0, bitmap, &info) == kImagingSuccess) {
                ++loaded;
                EXPECT_FALSE(bitmap.IsEmpty());
                EXPECT_GT(bitmap.Width(), 0);
            } else {
                ++refused;
                EXPECT_TRUE(bitmap.IsEmpty());
            }
            FileInfoMemory(bytes, 2, info);
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace paxid
