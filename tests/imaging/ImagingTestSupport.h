#pragma once

#include "platform/imaging/Bitmap.h"
#include "support/TestSupport.h"

#include <leptonica/allheaders.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

namespace paxid::test {

// ImageMagick by its full path: a stand-in `convert` may come first on PATH.
inline const std::string kConvert = "/usr/bin/convert";

// Runs a shell command and returns what it printed on standard output.
inline std::string CaptureCommand(const std::string& command) {
    std::string output;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"), ::pclose);
    if (!pipe) {
        return output;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
        output.append(buffer.data(), got);
    }
    return output;
}

// A page of width x height: white, with a black rectangle from (x0, y0) to
// (x1, y1) inclusive, written by ImageMagick with the given output options.
inline bool MakeTestImage(const std::string& path, int width, int height, const std::string& options,
                          int x0 = 10, int y0 = 8, int x1 = 29, int y1 = 23) {
    const std::string command = kConvert + " -size " + std::to_string(width) + "x" + std::to_string(height) +
                                " xc:white -fill black -draw 'rectangle " + std::to_string(x0) + "," +
                                std::to_string(y0) + " " + std::to_string(x1) + "," + std::to_string(y1) + "' " +
                                options + " '" + path + "' 2>/dev/null";
    return RunCommand(command) == 0;
}

// The value after "key:" in the output of pdfinfo.
inline std::string PdfInfoField(const std::string& path, const std::string& key) {
    const std::string output = CaptureCommand("pdfinfo '" + path + "'");
    const auto at = output.find(key + ":");
    if (at == std::string::npos) {
        return {};
    }
    auto begin = output.find_first_not_of(' ', at + key.size() + 1);
    const auto end = output.find('\n', begin);
    return output.substr(begin, end - begin);
}

// True when both bitmaps have the same size, depth and pixels.
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
    l_int32 same = 0;
    return !a.IsEmpty() && !b.IsEmpty() && pixEqual(a.Get(), b.Get(), &same) == 0 && same == 1;
}

}  // namespace paxid::test
