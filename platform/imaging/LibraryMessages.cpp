#include "platform/imaging/LibraryMessages.h"

#include "platform/diagnostics/PlatformLog.h"

#include <leptonica/allheaders.h>
#include <poppler/cpp/poppler-global.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace paxid {

namespace {

void ForwardLeptonica(const char* message) noexcept {
    // Leptonica's lines end in a newline of their own.
    std::string_view text = message == nullptr ? std::string_view() : std::string_view(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    PlatformLog("Leptonica", text);
}

// Called by libtiff: nothing may be thrown back into it, so the line is
// built in a fixed buffer.
void ForwardTiff(const char* kind, const char* module, const char* format, va_list arguments) noexcept {
    char message[1024];
    std::vsnprintf(message, sizeof message, format, arguments);
    char line[1200];
    std::snprintf(line, sizeof line, "%s%s%s%s", kind, module != nullptr ? module : "", module != nullptr ? ": " : "",
                  message);
    PlatformLog("libtiff", line);
}

void TiffError(const char* module, const char* format, va_list arguments) noexcept {
    ForwardTiff("error ", module, format, arguments);
}

void TiffWarning(const char* module, const char* format, va_list arguments) noexcept {
    ForwardTiff("warning ", module, format, arguments);
}

void ForwardPoppler(const std::string& message, void* /*closure*/) { PlatformLog("Poppler", message); }

}  // namespace

void InstallImagingMessageHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        leptSetStderrHandler(&ForwardLeptonica);
        setMsgSeverity(L_SEVERITY_WARNING);
        TIFFSetErrorHandler(&TiffError);
        TIFFSetWarningHandler(&TiffWarning);
        poppler::set_debug_error_function(&ForwardPoppler, nullptr);
    });
}

}  // namespace paxid
