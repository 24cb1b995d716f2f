#pragma once

#include <optional>
#include <ostream>

namespace paxid {

// The image commands of the paxid tool:
//
//   paxid ocr [--page N] [--rect L,T,W,H] [--autoseg] [--] SOURCE
//       prints the recognised text of page N (1-based, default 1): the whole
//       page segmented automatically without --rect; with --rect the
//       rectangle (image pixels) as one text segment, or cut out and
//       segmented automatically with --autoseg.
//   paxid zones [--page N] [--color RRGGBB] [--] SOURCE
//       prints one line "left top right bottom" per zone that automatic
//       segmentation of the whole page creates.
//   paxid process OP[=VALUE[,VALUE...]] IN OUT
//       applies one processing operation to page 1 of IN and writes OUT in
//       the format its extension names (.bmp, .jpg, .tif, .pdf, .jbg).
//
// Returns nullopt when argv[1] names none of them; else the exit status:
// 0 done, 1 usage error, 2 the output could not be written, 3 the page could
// not be loaded.
std::optional<int> RunImageCommand(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace paxid
