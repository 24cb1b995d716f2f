#pragma once

namespace paxid {

// Routes what Leptonica, libtiff and Poppler report into the platform log
// (sender "Leptonica", "libtiff", "Poppler"), so that no library prints to the
// terminal on its own. Every entry point of this layer calls it; the handlers
// are installed once per process and are safe from any thread.
void InstallImagingMessageHandlers();

}  // namespace paxid
