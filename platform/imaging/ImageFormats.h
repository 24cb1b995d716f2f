#pragma once

namespace paxid {

// File-format numbers of the imaging interface. The written formats keep the
// numbers callers pass and store (format of a loaded page, format to save);
// the read-only ones are this layer's own numbers for what it can load.
inline constexpr int kFormatGif = 2;
inline constexpr int kFormatTiff = 3;           // TIFF: uncompressed, packbits, deflate
inline constexpr int kFormatBmp = 6;            // Windows bitmap
inline constexpr int kFormatJpeg = 10;          // JPEG file interchange format
inline constexpr int kFormatTiffJpeg = 11;      // TIFF, JPEG-compressed
inline constexpr int kFormatTiffLzw = 17;       // TIFF, LZW
inline constexpr int kFormatTiffG3 = 27;        // TIFF, CCITT group 3
inline constexpr int kFormatTiffG4 = 29;        // TIFF, CCITT group 4 (bitonal)
inline constexpr int kFormatPng = 75;
inline constexpr int kFormatJbig = 115;
inline constexpr int kFormatPdf = 148;          // a PDF read by rasterising its pages
inline constexpr int kFormatPdfG4 = 149;        // PDF with a bitonal (G4) image
inline constexpr int kFormatPdfJpeg = 151;      // PDF with a JPEG image
inline constexpr int kFormatWebP = 200;

// Result of the file, load and save calls on success; anything else failed.
inline constexpr int kImagingSuccess = 1;
inline constexpr int kImagingFailure = 0;

// Save flags.
inline constexpr int kSaveAppend = 4;       // add a page to an existing multi-page file
inline constexpr int kSaveReplacePage = 2;  // replace page N (1-based) of an existing file

// A PDF page is rasterised at this resolution in dots per inch, 24 bits per pixel.
inline constexpr int kPdfRasterDpi = 200;

}  // namespace paxid
