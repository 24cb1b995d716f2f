#include "platform/posix/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace paxid {

TFileDescriptor::~TFileDescriptor() { Reset(); }

TFileDescriptor::TFileDescriptor(TFileDescriptor&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }

TFileDescriptor& TFileDescriptor::operator=(TFileDescriptor&& other) noexcept {
    if (this != &other) {
        Reset(other.FFd);
        other.FFd = -1;
    }
    return *this;
}

void TFileDescriptor::Reset(int fd) {
    if (FFd >= 0) {
        ::close(FFd);
    }
    FFd = fd;
}

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& contents) {
    contents.clear();
    TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        return false;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > maxBytes) {
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (contents.size() + static_cast<std::size_t>(got) > maxBytes) {
            return false;
        }
        contents.append(buffer, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace paxid
