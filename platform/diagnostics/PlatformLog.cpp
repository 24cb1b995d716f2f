#include "platform/diagnostics/PlatformLog.h"

#include <atomic>

namespace paxid {

namespace {
std::atomic<TPlatformLogSink> gSink{nullptr};
}

void SetPlatformLogSink(TPlatformLogSink sink) { gSink.store(sink); }

void PlatformLog(std::string_view senderClassName, std::string_view message) noexcept {
    if (const TPlatformLogSink sink = gSink.load()) {
        sink(senderClassName, message);
    }
}

}  // namespace paxid
