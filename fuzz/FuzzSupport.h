#pragma once

// Shared by the fuzz targets: a private scratch folder per process (the
// program's temporary folder points into it), and checks that a target
// wrote nothing outside the folder it was given.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace paxid::fuzz {

inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "paxid-fuzz-XXXXXX").string();
        const std::string made = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(made + "/tmp");
        ::setenv("PAXID_TEMP_DIR", (made + "/tmp").c_str(), 1);
        ::setenv("PAXID_CONFIG_DIR", (made + "/config").c_str(), 1);
        ::setenv("PAXID_CERT_DIR", (made + "/certs").c_str(), 1);
        // Nothing a target does may reach the network.
        ::setenv("http_proxy", "http://127.0.0.1:9", 1);
        ::setenv("https_proxy", "http://127.0.0.1:9", 1);
        ::setenv("ftp_proxy", "http://127.0.0.1:9", 1);
        return made;
    }();
    return folder;
}

inline void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Every path below folder, to compare before and after a target ran.
inline std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        names.insert(it->path().string());
    }
    return names;
}

inline void RemoveContents(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::filesystem::remove_all(entry.path(), error);
    }
}

}  // namespace paxid::fuzz
