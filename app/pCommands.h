#pragma once

#include <string>
#include <string_view>

namespace paxid {

// What a host program allows the user to do. Not persisted: every controller
// starts with these values.
struct TUIFlags {
    bool FUIOpenEnabled = true;        // opening, new, adding pages, scanning, clear, page properties
    bool FUISaveEnabled = true;        // saving, page deletion
    bool FUIPrintEnabled = true;       // printing and printer setup
    bool FUIEMailEnabled = true;       // sending by e-mail
    bool FUIClipboardEnabled = true;   // cut, copy, paste, crop
    bool FUINavigationEnabled = true;  // first, previous, next, last, timed paging
    bool FUIViewEnabled = true;        // view modes, centring, full screen
    bool FUIImgProcEnabled = true;     // image processing menu
    bool FUIOCREnabled = true;         // stored and reported only
    bool FReadOnly = false;            // forbids every change of the document
    bool FDisableClear = false;        // stored and reported only
    bool FTwainAvailable = true;       // result of the last scanner test
};

// The flag a lock or unlock word names ("open", "save", "print", "email",
// "clipboard", "navigation", "view", "imgproc", "ocr"; any case); nullptr for
// any other word.
bool* FlagOfCommandWord(TUIFlags& flags, std::string_view word);

// One command text ("-" or "/" and a command) as the interpreter reads it.
struct TCommand {
    enum class TKind { Invalid, Beep, Message, Lock, Unlock, Next, Prev, Unknown };
    TKind Kind = TKind::Invalid;
    // Message: the text to show. Lock, Unlock: the word after the separator.
    // Unknown: the text without its first character.
    std::string Argument;
};

// The tests for "msg", "lock", "unlock", "next" and "prev" compare exact
// lower-case characters; "beep" is compared without regard to case. A "lock"
// is followed by one separator character of any kind before its word.
TCommand ParseCommand(std::string_view text);

}  // namespace paxid
