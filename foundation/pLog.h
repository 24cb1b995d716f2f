#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

// The log file every unit writes to, placed in the program's own folder.
inline constexpr std::string_view kDebugLogFile = "_debug.log";
// How many of the most recent lines the in-memory list keeps.
inline constexpr std::size_t kMaxLogLines = 2000;

// The one logging operation. senderClassName is the run-time class name of
// the calling object; the overload with nullptr logs for no object (" - NIL - ").
// The line always reaches the in-memory list; with the Debug switch on it
// also goes to standard error and is appended to fileName in the program's
// folder. Never fails and never throws; safe from any thread.
void WriteLog(std::string_view senderClassName, std::string_view message,
              std::string_view fileName = kDebugLogFile) noexcept;
void WriteLog(std::nullptr_t, std::string_view message, std::string_view fileName = kDebugLogFile) noexcept;

// The random number 0..9999 that starts every line of this process.
int InstanceNumber();
// The Debug switch, read once when the log starts.
bool DebugEnabled();
// A copy of the in-memory list, oldest line first.
std::vector<std::string> LogLines();
// Program end: frees the in-memory list; later lines reach only the file and
// standard error.
void EndLogLines();

// The line as WriteLog builds it; an empty senderClassName stands for no object.
std::string FormatLogLine(int instanceNumber, std::string_view timeText, std::string_view senderClassName,
                          std::string_view message);
// "hh:nn:ss:zzz" of the local time now, with the locale's time separator.
std::string LogTimeText();

}  // namespace paxid
