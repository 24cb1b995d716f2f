#include "app/pCommands.h"

#include <strings.h>

namespace paxid {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// The text after the first count characters; empty when it is shorter.
std::string_view After(std::string_view text, std::size_t count) {
    return text.size() > count ? text.substr(count) : std::string_view();
}

}  // namespace

bool* FlagOfCommandWord(TUIFlags& flags, std::string_view word) {
    const struct {
        std::string_view Word;
        bool TUIFlags::*Flag;
    } table[] = {
        {"open", &TUIFlags::FUIOpenEnabled},
        {"save", &TUIFlags::FUISaveEnabled},
        {"print", &TUIFlags::FUIPrintEnabled},
        {"email", &TUIFlags::FUIEMailEnabled},
        {"clipboard", &TUIFlags::FUIClipboardEnabled},
        {"navigation", &TUIFlags::FUINavigationEnabled},
        {"view", &TUIFlags::FUIViewEnabled},
        {"imgproc", &TUIFlags::FUIImgProcEnabled},
        {"ocr", &TUIFlags::FUIOCREnabled},
    };
    for (const auto& row : table) {
        if (SameText(row.Word, word)) {
            return &(flags.*row.Flag);
        }
    }
    return nullptr;
}

TCommand ParseCommand(std::string_view text) {
    TCommand command;
    if (text.empty() || (text.front() != '/' && text.front() != '-')) {
        command.Kind = TCommand::TKind::Invalid;
        command.Argument = std::string(text);
        return command;
    }
    const std::string_view c = text.substr(1);
    if (SameText(c, "beep")) {
        command.Kind = TCommand::TKind::Beep;
    } else if (c.starts_with("msg") && c.find('"') == 3) {
        std::string message(c.substr(3));
        for (char& character : message) {
            if (character == '"' || character == '_') {
                character = ' ';
            }
        }
        command.Kind = TCommand::TKind::Message;
        command.Argument = Trim(message);
    } else if (c.starts_with("lock")) {
        command.Kind = TCommand::TKind::Lock;
        command.Argument = std::string(After(c, 5));
    } else if (c.starts_with("unlock")) {
        command.Kind = TCommand::TKind::Unlock;
        command.Argument = std::string(After(c, 7));
    } else if (c.starts_with("next")) {
        command.Kind = TCommand::TKind::Next;
    } else if (c.starts_with("prev")) {
        command.Kind = TCommand::TKind::Prev;
    } else {
        command.Kind = TCommand::TKind::Unknown;
        command.Argument = std::string(c);
    }
    return command;
}

}  // namespace paxid
