// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <string_view>

#include <unistd.h>

// Owns a file descriptor and closes it when it goes.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd = -1) : m_fd(fd) {}
    ~CFileDescriptor() { Close(); }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(other.release()) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.release());
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the one held and takes `fd`.
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }
    // False when close(2) reported an error (a write that could not be completed).
    bool Close() {
        bool ok = true;
        if (m_fd >= 0) {
            ok = ::close(m_fd) == 0;
            m_fd = -1;
        }
        return ok;
    }

private:
    int m_fd;
};

// Writes all of `bytes` at the descriptor's position; false with errno set otherwise. It
// allocates nothing, so a child between fork and exec may use it.
inline bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}
