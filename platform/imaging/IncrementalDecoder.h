#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"

#include <cstdint>
#include <memory>
#include <span>

namespace paxid {

// Decodes one PNG, JPEG or JBIG image from bytes handed over as they arrive
// (libpng's progressive reader, libjpeg with a suspending source, JBIG-KIT's
// own piecewise input), so that a download costs no second pass over its
// data. One thread at a time.
class TIncrementalDecoder {
public:
    // A decoder for kFormatPng, kFormatJpeg or kFormatJbig; null for any other format.
    static std::unique_ptr<TIncrementalDecoder> Create(int format);
    virtual ~TIncrementalDecoder() = default;

    // Takes the next bytes. False once the data proved broken or too large;
    // later bytes are then ignored.
    virtual bool Feed(std::span<const std::uint8_t> bytes) = 0;
    // The header has been read: Info() tells the size and depth.
    virtual bool HeaderKnown() const = 0;
    virtual const TImageFileInfo& Info() const = 0;
    // Every row has been decoded.
    virtual bool Complete() const = 0;
    // Rows decoded so far.
    virtual int RowsDone() const = 0;
    // The decoded image (1, 8 or 24 bits) once Complete; empty before.
    virtual TBitmap TakeBitmap() = 0;
};

}  // namespace paxid
