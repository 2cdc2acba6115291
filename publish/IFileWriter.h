// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

// How page bytes reach the disk. Tests hand in one that fails part-way (a full disk, a failing
// flush) to check that nothing is lost when a save goes wrong.
class IFileWriter {
public:
    virtual ~IFileWriter() = default;
    // Writes all of `bytes` at the descriptor's current position; false with errno set otherwise.
    virtual bool WriteAll(int fd, std::string_view bytes) = 0;
    // Makes what was written durable; false with errno set otherwise.
    virtual bool Sync(int fd) = 0;
    // Makes a rename into the folder durable; a failure loses nothing, so none is reported.
    virtual void SyncFolder(int folderFd) { Sync(folderFd); }
};

// Writes through `inner`, but flushes each folder that pages were renamed in once, when it
// ends, not after every page. A page is whole either way; what waits is only that the new
// version, not the old, survives a crash.
class CFolderSyncBatch : public IFileWriter {
public:
    explicit CFolderSyncBatch(IFileWriter& inner) : m_inner(inner) {}
    ~CFolderSyncBatch() override;
    CFolderSyncBatch(const CFolderSyncBatch&) = delete;
    CFolderSyncBatch& operator=(const CFolderSyncBatch&) = delete;

    bool WriteAll(int fd, std::string_view bytes) override { return m_inner.WriteAll(fd, bytes); }
    bool Sync(int fd) override { return m_inner.Sync(fd); }
    void SyncFolder(int folderFd) override;

private:
    IFileWriter& m_inner;
    std::vector<std::pair<std::pair<dev_t, ino_t>, int>> m_folders;  // each with its own fd
};

// Plain write(2) and fsync(2).
IFileWriter& GetDefaultFileWriter();
