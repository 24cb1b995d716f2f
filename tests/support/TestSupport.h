#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace paxid::test {

// A fresh folder below the system's temporary folder, removed with the object.
class TScratchFolder {
public:
    TScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "paxid-test-XXXXXX").string();
        FPath = ::mkdtemp(pattern.data());
    }
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(FPath, ignored);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

// Sets an environment variable for the lifetime of the object.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::optional<std::string>& value) : FName(name) {
        if (const char* old = std::getenv(name)) {
            FOld = old;
        }
        Apply(value);
    }
    ~TScopedEnv() { Apply(FOld); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(FName.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(FName.c_str());
        }
    }

    std::string FName;
    std::optional<std::string> FOld;
};

inline void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs a shell command and returns its exit status (-1 when it did not exit).
inline int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Makes an image file with ImageMagick itself (not a stand-in earlier on PATH).
inline void MakeImage(const std::string& path, int pages = 1, const std::string& extra = "") {
    std::string command = "/usr/bin/convert";
    for (int page = 0; page < pages; ++page) {
        command += " -size 120x160 xc:white -fill black -draw 'rectangle 10,10 " + std::to_string(30 + page * 10) +
                   ",40'";
    }
    command += " " + extra + " '" + path + "' 2>/dev/null";
    RunCommand(command);
}

// What a command printed on standard output and how it exited.
struct TCommandRun {
    int ExitCode = -1;
    std::string Out;
};

inline TCommandRun RunCapturingOutput(const std::string& command) {
    TCommandRun run;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            run.Out.append(buffer, got);
        }
        const int status = ::pclose(pipe);
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

// Runs the paxid tool inside folder, with settings and a temporary folder of
// its own there; standard error is dropped.
inline TCommandRun RunPaxidIn(const TScratchFolder& folder, const std::string& binary, const std::string& arguments) {
    return RunCapturingOutput("cd '" + folder.Path() + "' && PAXID_CONFIG_DIR='" + (folder / "config") +
                              "' PAXID_TEMP_DIR='" + (folder / "tmp") + "' " + binary + " " + arguments +
                              " 2>/dev/null");
}

}  // namespace paxid::test
