// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPageFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "core/CFileDescriptor.h"
#include "core/Folders.h"
#include "core/LargeBuffer.h"
#include "core/PathUtils.h"

namespace {

class CDefaultFileWriter : public IFileWriter {
public:
    bool WriteAll(int fd, std::string_view bytes) override { return ::WriteAll(fd, bytes); }
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

// Opens a folder outside any site to work in by descriptor, as its own small site.
CResult<CFileDescriptor> OpenFolder(const std::string& path) {
    const auto folder = CSiteFolder::Open(path);
    if (!folder) {
        return CError{folder.error};
    }
    return folder.value->Folder("");
}

// Creates a file of mode 0600 named `prefix` and six random characters in the folder `folderFd`.
int CreateUniqueAt(int folderFd, const std::string& prefix, std::string& name) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix;
        uint64_t bits = random();
        for (int i = 0; i < 6; ++i, bits /= 62) {
            candidate += kChars[bits % 62];
        }
        const int fd = ::openat(folderFd, candidate.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

// A name made of the page's name and `suffix` (with the six random characters that follow),
// cut short where a long page name would make it longer than a file name may be.
std::string NameAfter(const std::string& page, const char* prefix, const char* suffix) {
    const size_t room = NAME_MAX - std::strlen(prefix) - std::strlen(suffix) - 6;
    return prefix + page.substr(0, room) + suffix;
}

// The names of a file's extended attributes; none where the file system has none.
bool ListAttributes(int fd, std::vector<std::string>& names) {
    names.clear();
    std::vector<char> list;
    while (true) {
        ssize_t n = ::flistxattr(fd, nullptr, 0);
        if (n < 0) {
            return errno == ENOTSUP;
        }
        list.resize(static_cast<size_t>(n));
        n = ::flistxattr(fd, list.data(), list.size());
        if (n >= 0) {
            list.resize(static_cast<size_t>(n));
            break;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
    for (size_t pos = 0; pos < list.size();) {
        const size_t length = ::strnlen(list.data() + pos, list.size() - pos);
        if (length > 0) {
            names.emplace_back(list.data() + pos, length);
        }
        pos += length + 1;
    }
    return true;
}

std::optional<std::string> ReadAttribute(int fd, const std::string& name) {
    while (true) {
        ssize_t n = ::fgetxattr(fd, name.c_str(), nullptr, 0);
        if (n < 0) {
            return std::nullopt;
        }
        std::string value(static_cast<size_t>(n), '\0');
        n = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<size_t>(n));
            return value;
        }
        if (errno != ERANGE) {
            return std::nullopt;
        }
    }
}

// Gives `to` what those who own, read or serve the page `from` go by: owner and group, extended
// attributes (the ACL is one) and mode. False when any of it cannot be given.
bool CopyIdentity(int from, const struct stat& page, int to) {
    // The owner first: changing it may clear set-id bits that the mode then restores. Only root
    // may give a file away, others only a group of their own.
    if (::fchown(to, page.st_uid, page.st_gid) != 0) {
        [[maybe_unused]] int ignored = ::fchown(to, static_cast<uid_t>(-1), page.st_gid);
    }
    std::vector<std::string> names, present;
    if (!ListAttributes(from, names) || !ListAttributes(to, present)) {
        return false;
    }
    std::map<std::string, std::string> wanted;
    for (const std::string& name : names) {
        std::optional<std::string> value = ReadAttribute(from, name);
        if (!value) {
            return false;
        }
        wanted.emplace(name, std::move(*value));
    }
    // A folder's default ACL gives a new file an ACL that the page may not have.
    for (const std::string& name : present) {
        if (!wanted.count(name) && ::fremovexattr(to, name.c_str()) != 0) {
            return false;
        }
    }
    for (const auto& [name, value] : wanted) {
        // A security label the new file already has need not be set, which may be refused.
        if (ReadAttribute(to, name) != value &&
            ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) {
            return false;
        }
    }
    // After the ACL, whose mask set the group bits.
    if (::fchmod(to, page.st_mode & 07777) != 0) {
        return false;
    }
    struct stat now {};
    if (::fstat(to, &now) != 0 || now.st_uid != page.st_uid || now.st_gid != page.st_gid ||
        (now.st_mode & 07777) != (page.st_mode & 07777)) {
        return false;
    }
    return std::ranges::all_of(wanted, [&](const auto& attribute) {
        return ReadAttribute(to, attribute.first) == attribute.second;
    });
}

}  // namespace

IFileWriter& GetDefaultFileWriter() {
    static CDefaultFileWriter writer;
    return writer;
}

CPageFile::~CPageFile() {
    Close();
}

CPageFile::CPageFile(CPageFile&& other) noexcept {
    *this = std::move(other);
}

CPageFile& CPageFile::operator=(CPageFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_nFd = std::exchange(other.m_nFd, -1);
        m_nFolderFd = std::exchange(other.m_nFolderFd, -1);
        m_strPath = std::move(other.m_strPath);
        m_strFolder = std::move(other.m_strFolder);
        m_strName = std::move(other.m_strName);
        m_pSite = std::move(other.m_pSite);
        m_strSiteFolder = std::move(other.m_strSiteFolder);
        m_bNameChanged = other.m_bNameChanged;
        m_strBackupPath = std::move(other.m_strBackupPath);
    }
    return *this;
}

bool CPageFile::Open(const std::string& path, std::shared_ptr<const CSiteFolder> site) {
    Close();
    const auto real = RealPath(path);
    if (!real) {
        return false;
    }
    const std::string folder = GetPathFolder(*real);
    const std::string name = GetPathFileName(*real);
    if (name.empty()) {
        errno = EISDIR;
        return false;
    }
    const auto relative = site ? site->RealRelative(folder) : std::nullopt;
    auto folderFd = relative ? site->Folder(*relative) : OpenFolder(folder);
    if (!folderFd) {
        errno = folderFd.error;
        return false;
    }
    // O_NONBLOCK keeps a named pipe given as a page from hanging the open.
    int fd =
        ::openat(folderFd.value.get(), name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
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
    m_nFolderFd = folderFd.value.release();
    m_strPath = path;
    m_strFolder = folder;
    m_strName = name;
    if (relative) {
        m_pSite = std::move(site);
        m_strSiteFolder = *relative;
    }
    return true;
}

bool CPageFile::FolderStillInSite() const {
    if (!m_pSite) {
        return true;
    }
    const auto now = m_pSite->OpenAt(m_strSiteFolder, O_PATH | O_DIRECTORY);
    struct stat there {
    }, held{};
    return now && ::fstat(now.value.get(), &there) == 0 && ::fstat(m_nFolderFd, &held) == 0 &&
           SameFile(there, held);
}

void CPageFile::Close() {
    for (int* fd : {&m_nFd, &m_nFolderFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    m_strPath.clear();
    m_strFolder.clear();
    m_strName.clear();
    m_pSite.reset();
    m_strSiteFolder.clear();
}

CPageFile::NameState CPageFile::CheckName() const {
    struct stat atName {
    }, held{};
    if (m_nFolderFd < 0 ||
        ::fstatat(m_nFolderFd, m_strName.c_str(), &atName, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstat(m_nFd, &held) != 0) {
        return NameState::Missing;
    }
    // The folder moved out of the site or made a link: the page is no longer the site's.
    if (!FolderStillInSite()) {
        return NameState::NotAFile;
    }
    if (!S_ISREG(atName.st_mode)) {
        return NameState::NotAFile;
    }
    return SameFile(atName, held) ? NameState::Same : NameState::Replaced;
}

bool CPageFile::TakeFileAtName() {
    if (m_nFolderFd < 0) {
        errno = EBADF;
        return false;
    }
    if (!FolderStillInSite()) {
        errno = ELOOP;
        return false;
    }
    const int fd =
        ::openat(m_nFolderFd, m_strName.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = ELOOP;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::close(m_nFd);
    m_nFd = fd;
    return true;
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
    if (static_cast<uint64_t>(st.st_size) > kPageLimit_bytes) {
        errno = EFBIG;
        return false;
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    ReserveLarge(bytes, static_cast<size_t>(st.st_size) + 1);
    bytes.resize(static_cast<size_t>(st.st_size) + 1);
    size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            if (filled > kPageLimit_bytes) {
                bytes.clear();
                errno = EFBIG;
                return false;
            }
            bytes.resize(std::min(bytes.size() * 2, kPageLimit_bytes + 1));
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
    m_bNameChanged = false;
    m_strBackupPath.clear();
    if (m_nFd < 0 || m_nFolderFd < 0) {
        errno = EBADF;
        return false;
    }
    if (!FolderStillInSite()) {
        m_bNameChanged = true;
        errno = ESTALE;
        return false;
    }
    bool inPlace = false;
    if (ReplaceByRename(parts, writer, inPlace)) {
        return true;
    }
    if (!inPlace) {
        return false;
    }
    if (CheckName() != NameState::Same) {
        m_bNameChanged = true;
        errno = ESTALE;
        return false;
    }
    return WriteInPlaceKeepingACopy(parts, writer);
}

bool CPageFile::ReplaceByRename(std::initializer_list<std::string_view> parts, IFileWriter& writer,
                                bool& tryInPlace) {
    tryInPlace = false;
    struct stat page {};
    if (::fstat(m_nFd, &page) != 0) {
        return false;
    }
    // A rename would split a page of several names from the others.
    if (page.st_nlink != 1) {
        tryInPlace = true;
        return false;
    }
    std::string temporary;
    const int fd = CreateUniqueAt(m_nFolderFd, NameAfter(m_strName, ".", "."), temporary);
    if (fd < 0) {
        tryInPlace = true;
        return false;
    }
    auto discard = [&] {
        CErrnoKeeper keep;
        ::close(fd);
        ::unlinkat(m_nFolderFd, temporary.c_str(), 0);
        return false;
    };
    if (!CopyIdentity(m_nFd, page, fd)) {
        discard();
        tryInPlace = true;
        return false;
    }
    for (std::string_view part : parts) {
        if (!writer.WriteAll(fd, part)) {
            return discard();
        }
    }
    // Before the swap: a rename may reach the disk before the data it names.
    if (!writer.Sync(fd)) {
        return discard();
    }
    // Swapped, not renamed over: what the swap put at the temporary name shows whether the
    // page's name still led to the page, and if not the swap is undone, so that whatever was
    // put there is left as it is.
    if (::renameat2(m_nFolderFd, temporary.c_str(), m_nFolderFd, m_strName.c_str(),
                    RENAME_EXCHANGE) == 0) {
        struct stat replaced {};
        if (::fstatat(m_nFolderFd, temporary.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFile(replaced, page)) {
            ::renameat2(m_nFolderFd, temporary.c_str(), m_nFolderFd, m_strName.c_str(),
                        RENAME_EXCHANGE);
            m_bNameChanged = true;
            errno = ESTALE;
            return discard();
        }
        ::unlinkat(m_nFolderFd, temporary.c_str(), 0);
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
        // A file system that cannot swap: the look and the rename are two steps.
        if (CheckName() != NameState::Same) {
            m_bNameChanged = true;
            errno = ESTALE;
            return discard();
        }
        if (::renameat(m_nFolderFd, temporary.c_str(), m_nFolderFd, m_strName.c_str()) != 0) {
            return discard();
        }
    } else {
        return discard();
    }
    writer.SyncFolder(m_nFolderFd);
    ::close(m_nFd);
    m_nFd = fd;
    return true;
}

void CFolderSyncBatch::SyncFolder(int folderFd) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0) {
        m_inner.SyncFolder(folderFd);
        return;
    }
    const std::pair id{folder.st_dev, folder.st_ino};
    if (std::ranges::any_of(m_folders, [&](const auto& pending) { return pending.first == id; })) {
        return;
    }
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        m_inner.SyncFolder(folderFd);
        return;
    }
    m_folders.emplace_back(id, fd);
}

CFolderSyncBatch::~CFolderSyncBatch() {
    CErrnoKeeper keep;
    for (const auto& [id, fd] : m_folders) {
        m_inner.SyncFolder(fd);
        ::close(fd);
    }
}

bool CPageFile::WriteInPlaceKeepingACopy(std::initializer_list<std::string_view> parts,
                                         IFileWriter& writer) {
    std::string old;
    if (!ReadAll(old)) {
        return false;
    }
    size_t size = 0;
    for (std::string_view part : parts) {
        size += part.size();
    }
    // The copy of the old bytes goes where only this user can read it; beside the page only
    // where that fails, for a page may be a script whose source the server must not show.
    const std::string tempFolder = GetTempFolder();
    const auto tempFolderFd = OpenFolder(tempFolder);
    const std::pair<int, const std::string*> places[] = {{tempFolderFd.value.get(), &tempFolder},
                                                         {m_nFolderFd, &m_strFolder}};
    int copyFd = -1, copyFolderFd = -1;
    std::string copyName, copyPath;
    int error = 0;
    for (const auto& [folderFd, folder] : places) {
        if (folderFd < 0) {
            continue;
        }
        copyFd = CreateUniqueAt(folderFd, NameAfter(m_strName, ".", ".old-"), copyName);
        if (copyFd >= 0 && writer.WriteAll(copyFd, old) && writer.Sync(copyFd)) {
            // Now, not later: the page is about to be overwritten, and after a crash the copy
            // must be there under its name.
            ::fsync(folderFd);
            copyFolderFd = folderFd;
            copyPath = *folder + (folder->ends_with('/') ? "" : "/") + copyName;
            break;
        }
        error = errno;
        if (copyFd >= 0) {
            ::close(copyFd);
            ::unlinkat(folderFd, copyName.c_str(), 0);
            copyFd = -1;
        }
    }
    if (copyFd < 0) {
        errno = error;
        return false;
    }
    auto dropCopy = [&] {
        CErrnoKeeper keep;
        ::close(copyFd);
        ::unlinkat(copyFolderFd, copyName.c_str(), 0);
    };
    // Room first, where the file system can reserve it: a full disk then stops the save before
    // the page is touched.
    if (size > old.size() &&
        ::fallocate(m_nFd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 &&
        (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
        dropCopy();
        return false;
    }
    if (WriteInPlace(parts, writer) && writer.Sync(m_nFd)) {
        dropCopy();
        return true;
    }
    error = errno;
    if (WriteInPlace({old}, writer) && writer.Sync(m_nFd)) {
        dropCopy();
    } else {
        ::close(copyFd);
        m_strBackupPath = copyPath;
    }
    errno = error;
    return false;
}
