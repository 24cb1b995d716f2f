#include "foundation/pLog.h"

#include "foundation/pURLUtils.h"
#include "platform/diagnostics/PlatformLog.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/programdir/ProgramDir.h"
#include "platform/random/RandomSource.h"
#include "platform/settings/SettingsStore.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace paxid {

namespace {

bool IsTrueText(const std::string& text) {
    return text.size() == 4 && (text[0] == 'T' || text[0] == 't') && (text[1] == 'R' || text[1] == 'r') &&
           (text[2] == 'U' || text[2] == 'u') && (text[3] == 'E' || text[3] == 'e');
}

// The character the user's locale puts between hours and minutes.
char LocaleTimeSeparator() {
    locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        return ':';
    }
    const std::string format = ::nl_langinfo_l(T_FMT, locale);
    ::freelocale(locale);
    for (const char* hour : {"%H", "%I", "%k", "%l"}) {
        const std::size_t at = format.find(hour);
        if (at != std::string::npos && at + 2 < format.size() && format[at + 2] != '%') {
            return format[at + 2];
        }
    }
    return ':';
}

// The most recent lines in a ring, so that dropping the oldest costs nothing.
class TLogRing {
public:
    void Append(std::string line) {
        if (FLines.size() < kMaxLogLines) {
            FLines.push_back(std::move(line));
            return;
        }
        FLines[FOldest] = std::move(line);
        FOldest = (FOldest + 1) % kMaxLogLines;
    }

    std::vector<std::string> InOrder() const {
        std::vector<std::string> lines;
        lines.reserve(FLines.size());
        for (std::size_t i = 0; i < FLines.size(); ++i) {
            lines.push_back(FLines[(FOldest + i) % FLines.size()]);
        }
        return lines;
    }

    void Clear() {
        FLines.clear();
        FLines.shrink_to_fit();
        FOldest = 0;
    }

private:
    std::vector<std::string> FLines;
    std::size_t FOldest = 0;
};

// Process-wide state of the log, made on first use.
class TDiagnosticLog {
public:
    TDiagnosticLog()
        : FInstanceNumber(static_cast<int>(TRandomSource::Below(10000))),
          FDebugEnabled(ReadDebugSwitch()),
          FTimeSeparator(LocaleTimeSeparator()),
          FFolder(FDebugEnabled ? ProgramWriteDir() : std::string()) {}

    int InstanceNumber() const { return FInstanceNumber; }
    bool DebugEnabled() const { return FDebugEnabled; }
    char TimeSeparator() const { return FTimeSeparator; }

    void Keep(std::string line) {
        std::lock_guard guard(FLock);
        if (FLinesAlive) {
            FLines.Append(std::move(line));
        }
    }

    std::vector<std::string> Lines() {
        std::lock_guard guard(FLock);
        return FLines.InOrder();
    }

    void EndLines() {
        std::lock_guard guard(FLock);
        FLinesAlive = false;
        FLines.Clear();
    }

    // A writer that finds the file locked by another loses its line, as a
    // file opened for exclusive writing elsewhere would refuse it.
    void AppendToFile(std::string_view fileName, const std::string& line) const {
        if (fileName.empty() || fileName.find('/') != std::string_view::npos || fileName == "." ||
            fileName == "..") {
            return;
        }
        const std::string path = FFolder + std::string(fileName);
        TFileDescriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (!file.IsOpen() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
            return;
        }
        const std::string record = line + "\r\n";
        WriteAll(file.Get(), record.data(), record.size());
    }

private:
    static bool ReadDebugSwitch() {
        const std::optional<std::string> value = TSettingsStore::User().ReadString("Debug", "");
        return value && IsTrueText(*value);
    }

    const int FInstanceNumber;
    const bool FDebugEnabled;
    const char FTimeSeparator;
    const std::string FFolder;
    std::mutex FLock;
    TLogRing FLines;
    bool FLinesAlive = true;
};

TDiagnosticLog& Log() {
    // Never destroyed: units may still log while static objects are torn down.
    static TDiagnosticLog* const log = new TDiagnosticLog();
    return *log;
}

void ForwardPlatformLog(std::string_view sender, std::string_view message) { WriteLog(sender, message); }

// The platform layers report through the log from the start of the program.
const bool kPlatformSinkInstalled = (SetPlatformLogSink(&ForwardPlatformLog), true);

void Emit(std::string_view sender, std::string_view message, std::string_view fileName) noexcept {
    try {
        TDiagnosticLog& log = Log();
        std::string line = FormatLogLine(log.InstanceNumber(), LogTimeText(), sender, message);
        RedactURLCredentials(line);
        if (!log.DebugEnabled()) {
            log.Keep(std::move(line));
            return;
        }
        log.Keep(line);
        const std::string debuggerLine = line + "\n";
        WriteAll(STDERR_FILENO, debuggerLine.data(), debuggerLine.size());
        log.AppendToFile(fileName, line);
    } catch (...) {
        // The log never fails its caller; a line lost to low memory is accepted.
    }
}

}  // namespace

void WriteLog(std::string_view senderClassName, std::string_view message, std::string_view fileName) noexcept {
    Emit(senderClassName, message, fileName);
}

void WriteLog(std::nullptr_t, std::string_view message, std::string_view fileName) noexcept {
    Emit({}, message, fileName);
}

int InstanceNumber() { return Log().InstanceNumber(); }

bool DebugEnabled() { return Log().DebugEnabled(); }

std::vector<std::string> LogLines() { return Log().Lines(); }

void EndLogLines() { Log().EndLines(); }

std::string FormatLogLine(int instanceNumber, std::string_view timeText, std::string_view senderClassName,
                          std::string_view message) {
    std::string line = std::to_string(instanceNumber);
    line += "  ";
    line += timeText;
    if (senderClassName.empty()) {
        line += " - NIL - ";
    } else {
        line += " - ";
        line += senderClassName;
        line += " - ";
    }
    line += message;
    return line;
}

std::string LogTimeText() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    // Breaking the time down is the costly part of a line; it changes once a second.
    thread_local std::time_t cachedSecond = -1;
    thread_local std::tm local{};
    if (seconds != cachedSecond) {
        ::localtime_r(&seconds, &local);
        cachedSecond = seconds;
    }
    const char separator = Log().TimeSeparator();
    char text[32];
    std::snprintf(text, sizeof text, "%02d%c%02d%c%02d%c%03d", local.tm_hour, separator, local.tm_min, separator,
                  local.tm_sec, separator, static_cast<int>(millis));
    return text;
}

}  // namespace paxid
