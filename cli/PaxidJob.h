#pragma once

#include <ostream>

namespace paxid {

// Exit codes of the paxid tool.
inline constexpr int kExitAllLoaded = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitFailure = 2;
inline constexpr int kExitPageMissing = 3;
inline constexpr int kExitNotDecrypted = 4;

// Runs one invocation of the tool with the given arguments.
int RunPaxid(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace paxid
