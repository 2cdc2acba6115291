// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// How page bytes reach the disk. Tests hand in one that fails part-way (a full disk, a failing
// flush) to check that nothing is lost when a save goes wrong.
class IFileWriter {
public:
    virtual ~IFileWriter() = default;
    // Writes all of `bytes` at the descriptor's current position; false with errno set otherwise.
    virtual bool WriteAll(int fd, std::string_view bytes) = 0;
    // Makes what was written durable; false with errno set otherwise.
    virtual bool Sync(int fd) = 0;
};

// Plain write(2) and fsync(2).
IFileWriter& GetDefaultFileWriter();
