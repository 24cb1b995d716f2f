// Page decoding of every image format and PDF, from a file and from memory.
#include "FuzzSupport.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"

#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    paxid::TImageFileInfo info;
    if (paxid::FileInfoMemory(bytes, 0, info) == paxid::kImagingSuccess) {
        paxid::TBitmap page;
        paxid::LoadPageMemory(bytes, 1, page, &info);
        if (info.TotalPages > 1) {
            paxid::LoadPageMemory(bytes, info.TotalPages, page, &info);
        }
    }
    const std::string path = paxid::fuzz::ScratchFolder() + "/page.img";
    paxid::fuzz::WriteBytes(path, data, size);
    paxid::TBitmap fromFile;
    paxid::LoadPage(path, 1, fromFile);
    return 0;
}
