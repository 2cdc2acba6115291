// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/ContentHash.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

std::optional<uint64_t> HashFile(int fd) {
    // Sized to the page, uncleared: a fresh megabyte for every small page costs more than the
    // hash.
    struct stat st {};
    const size_t size = ::fstat(fd, &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    const size_t room = std::clamp<size_t>(size + 1, 4096, size_t{1} << 20);
    const std::unique_ptr<char[]> chunk(new char[room]);
    CContentHash hash;
    off_t offset = 0;
    while (true) {
        ssize_t n = ::pread(fd, chunk.get(), room, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? std::optional<uint64_t>(hash.Value()) : std::nullopt;
        }
        hash.Update(std::string_view(chunk.get(), static_cast<size_t>(n)));
        offset += n;
    }
}
