#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace paxid::test {

// Standard output of a shell command (standard error is left alone).
inline std::string CommandOutput(const std::string& command) {
    std::string output;
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        return output;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        output.append(buffer, got);
    }
    return output;
}

// Single quotes for the shell.
inline std::string Quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Tests that write to the program's temporary folder get a private one.
class TTempFolderTest : public ::testing::Test {
protected:
    TScratchFolder FTemp;
    TScopedEnv FTempEnv{"PAXID_TEMP_DIR", FTemp.Path()};
    TScratchFolder FWork;
};

}  // namespace paxid::test
