#pragma once

#include <cstdint>

// Leptonica's image, kept out of the headers.
struct Pix;

namespace paxid {

// A colour as red, green and blue of 0..255.
struct TColor {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    friend bool operator==(const TColor&, const TColor&) = default;
};

// One raster image: owns a Leptonica PIX. Copying copies the pixels; an empty
// bitmap holds none.
class TBitmap {
public:
    TBitmap() = default;
    // Takes ownership of pix (may be null).
    explicit TBitmap(Pix* pix) : FPix(pix) {}
    ~TBitmap();
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    TBitmap(TBitmap&& other) noexcept : FPix(other.FPix) { other.FPix = nullptr; }
    TBitmap& operator=(TBitmap&& other) noexcept;

    // A new white bitmap; depth is 1, 8, 24 or 32 bits per pixel.
    static TBitmap Create(int width, int height, int bitsPerPixel);

    bool IsEmpty() const { return FPix == nullptr; }
    int Width() const;
    int Height() const;
    int BitsPerPixel() const;
    // Pixels per inch; 0 when the source gave none.
    int XResolution() const;
    int YResolution() const;
    void SetResolution(int x, int y);
    // The colour at (x, y) in image pixels; white outside the bitmap.
    TColor PixelColor(int x, int y) const;

    Pix* Get() const { return FPix; }
    // Hands the PIX over to the caller.
    Pix* Release();

private:
    Pix* FPix = nullptr;
};

}  // namespace paxid
