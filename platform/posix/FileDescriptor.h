#pragma once

#include <string>

namespace paxid {

// Owns one POSIX file descriptor; closes it on destruction. Move-only.
class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor();
    TFileDescriptor(TFileDescriptor&& other) noexcept;
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept;
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }
    void Reset(int fd = -1);
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd = -1;
};

// Reads at most maxBytes of a file; false when it cannot be opened or read
// or when it is larger than maxBytes.
bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& contents);

// Writes every byte, retrying short writes; false on any error.
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace paxid
