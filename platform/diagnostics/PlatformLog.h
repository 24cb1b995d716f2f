#pragma once

#include <string_view>

namespace paxid {

// How the platform layers report what their C libraries say: they cannot
// reach the diagnostic log above them, so the log installs itself here.
using TPlatformLogSink = void (*)(std::string_view senderClassName, std::string_view message);

void SetPlatformLogSink(TPlatformLogSink sink);
// Forwards one line to the installed sink; does nothing before one is installed.
void PlatformLog(std::string_view senderClassName, std::string_view message) noexcept;

}  // namespace paxid
