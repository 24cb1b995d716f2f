#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace paxid::test {

// One line of text drawn at (x, y) image pixels, y being the baseline.
struct TTextDrawing {
    int X = 0;
    int Y = 0;
    std::string Text;
};

// A white 300-dpi page with DejaVu Sans text, rendered by ImageMagick and
// loaded as the viewer loads pages. Empty bitmap when rendering failed.
inline TBitmap RenderTextPage(const TScratchFolder& folder, const std::string& name, int width, int height,
                              const std::vector<TTextDrawing>& texts, int pointSize = 12) {
    std::string command = "/usr/bin/convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                          " -units PixelsPerInch -density 300 xc:white -fill black"
                          " -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize " +
                          std::to_string(pointSize);
    for (const TTextDrawing& text : texts) {
        command += " -annotate +" + std::to_string(text.X) + "+" + std::to_string(text.Y) + " '" + text.Text + "'";
    }
    const std::string path = folder / name;
    command += " -type Grayscale '" + path + "'";
    TBitmap page;
    if (RunCommand(command) != 0 || LoadPage(path, 1, page) != kImagingSuccess) {
        return TBitmap();
    }
    return page;
}

}  // namespace paxid::test
