// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPageFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CDefaultFileWriter : public IFileWriter {
public:
    bool WriteAll(int fd, std::string_view bytes) override {
        while (!bytes.empty()) {
            ssize_t n = ::write(fd, bytes.data(), bytes.size());
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }
    bool Sync(int fd) override { return ::fsync(fd) == 0; }
};

// Keeps errno across clean-up calls that may change it.
class CErrnoKeeper {
public:
    CErrnoKeeper() : m_nErrno(errno) {}
    ~CErrnoKeeper() { errno = m_nErrno; }

private:
    int m_nErrno;
};

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

IFileWriter& GetDefaultFileWriter() {
    static CDefaultFileWriter writer;
    return writer;
}

CPageFile::~CPageFile() {
    Close();
}

CPageFile::CPageFile(CPageFile&& other) noexcept
    : m_nFd(std::exchange(other.m_nFd, -1)), m_strPath(std::move(other.m_strPath)) {}

CPageFile& CPageFile::operator=(CPageFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_nFd = std::exchange(other.m_nFd, -1);
        m_strPath = std::move(other.m_strPath);
    }
    return *this;
}

bool CPageFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK keeps a named pipe given as a page from hanging the open.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_nFd = fd;
    m_strPath = path;
    return true;
}

bool CPageFile::Create(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    m_nFd = fd;
    m_strPath = path;
    return true;
}

void CPageFile::Close() {
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
    m_strPath.clear();
}

bool CPageFile::ReadAll(std::string& bytes) const {
    bytes.clear();
    if (m_nFd < 0) {
        errno = EBADF;
        return false;
    }
    struct stat st {};
    if (::fstat(m_nFd, &st) != 0) {
        return false;
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    bytes.resize(static_cast<size_t>(st.st_size) + 1);
    size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            bytes.resize(bytes.size() * 2);
        }
        ssize_t n = ::pread(m_nFd, bytes.data() + filled, bytes.size() - filled,
                            static_cast<off_t>(filled));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            bytes.clear();
            return false;
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<size_t>(n);
    }
    bytes.resize(filled);
    return true;
}

bool CPageFile::WriteInPlace(std::initializer_list<std::string_view> parts, IFileWriter& writer) {
    if (m_nFd < 0) {
        errno = EBADF;
        return false;
    }
    if (::lseek(m_nFd, 0, SEEK_SET) != 0) {
        return false;
    }
    size_t size = 0;
    for (std::string_view part : parts) {
        if (!writer.WriteAll(m_nFd, part)) {
            return false;
        }
        size += part.size();
    }
    return ::ftruncate(m_nFd, static_cast<off_t>(size)) == 0;
}

bool CPageFile::ReplaceContents(std::initializer_list<std::string_view> parts,
                                IFileWriter& writer) {
    if (m_nFd < 0) {
        errno = EBADF;
        return false;
    }
    char resolved[PATH_MAX];
    if (!::realpath(m_strPath.c_str(), resolved)) {
        return false;
    }
    const std::string target = resolved;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 && ::fstat(m_nFd, &st) != 0) {
        return false;
    }
    const std::string folder = FolderOf(target);
    // The temporary file is named after the page, cut short where a long page name would make
    // it longer than a file name may be.
    std::string base = target.substr(folder.size() + (folder == "/" ? 0 : 1));
    base.resize(std::min<size_t>(base.size(), NAME_MAX - std::strlen("..XXXXXX")));
    std::string name = folder + "/." + base + ".XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string temporary = buffer.data();
    auto fail = [&] {
        CErrnoKeeper keep;
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    };
    // The owner first: changing it may clear set-id bits that the mode then restores. Only root
    // may give a file away, so a failure there is expected and harmless.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        [[maybe_unused]] int ignored = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    }
    if (::fchmod(fd, st.st_mode & 07777) != 0) {
        return fail();
    }
    for (std::string_view part : parts) {
        if (!writer.WriteAll(fd, part)) {
            return fail();
        }
    }
    if (!writer.Sync(fd)) {
        return fail();
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail();
    }
    // The rename itself becomes durable with the folder; a failure here loses nothing.
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    ::close(m_nFd);
    m_nFd = fd;
    return true;
}
