// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CSiteFolder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/PathUtils.h"

namespace {

// Set in the environment, the kernel's resolver is not used (tests of the fallback).
bool UseOpenat2() {
    static const bool use = std::getenv("DEDE5_NO_OPENAT2") == nullptr;
    return use;
}

std::string RandomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string text;
    for (uint64_t bits = random(), i = 0; i < 8; ++i, bits /= 36) {
        text += kChars[bits % 36];
    }
    return text;
}

// Where openat2 is refused (an old kernel, a sandbox), one component at a time, none followed.
CResult<CFileDescriptor> Walk(int root, const std::string& path, int flags, mode_t mode) {
    std::vector<std::string> parts;
    for (size_t pos = 0; pos <= path.size();) {
        const size_t end = std::min(path.find('/', pos), path.size());
        std::string part = path.substr(pos, end - pos);
        if (part == "..") {
            return CError{EXDEV};
        }
        if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        pos = end + 1;
    }
    if (parts.empty()) {
        parts.push_back(".");
    }
    CFileDescriptor folder;
    int at = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const int fd =
            ::openat(at, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return CError{errno == ENOTDIR ? ELOOP : errno};
        }
        folder.Reset(fd);
        at = fd;
    }
    const int fd = ::openat(at, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        // A link where a folder is wanted reads as "not a folder"; it is a link all the same.
        struct stat st {};
        const bool link = errno == ENOTDIR &&
                          ::fstatat(at, parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISLNK(st.st_mode);
        return CError{link ? ELOOP : errno};
    }
    return CFileDescriptor(fd);
}

std::optional<std::string> RelativeTo(std::string root, const std::string& path) {
    while (root.size() > 1 && root.ends_with('/')) {
        root.pop_back();
    }
    std::string rest;
    if (path == root) {
        return rest;
    }
    const std::string prefix = root == "/" ? root : root + "/";
    if (!path.starts_with(prefix)) {
        return std::nullopt;
    }
    rest = path.substr(prefix.size());
    while (rest.ends_with('/')) {
        rest.pop_back();
    }
    return rest;
}

}  // namespace

std::pair<std::string, std::string> SplitSitePath(const std::string& relative) {
    const size_t slash = relative.rfind('/');
    if (slash == std::string::npos) {
        return {"", relative};
    }
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

bool MadeByAGoneRun(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix)) {
        return false;
    }
    const std::string rest(name.substr(prefix.size()));
    char* end = nullptr;
    const long pid = std::strtol(rest.c_str(), &end, 10);
    // A process we may not signal is alive all the same.
    return end && *end == '-' && end != rest.c_str() && pid > 0 && pid != ::getpid() &&
           ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::string DebrisName() {
    return kDebrisPrefix + std::to_string(::getpid()) + "-";
}

void SweepDebrisAt(int folderFd) {
    const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    std::vector<std::string> gone;
    while (const dirent* entry = ::readdir(dir)) {
        if (MadeByAGoneRun(entry->d_name, kDebrisPrefix)) {
            gone.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : gone) {
        if (::unlinkat(folderFd, name.c_str(), 0) == 0 || errno != EISDIR) {
            continue;
        }
        // A private folder of ours holds files only.
        const int inner =
            ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (DIR* sub = inner >= 0 ? ::fdopendir(inner) : nullptr) {
            while (const dirent* entry = ::readdir(sub)) {
                ::unlinkat(inner, entry->d_name, 0);
            }
            ::closedir(sub);
        } else if (inner >= 0) {
            ::close(inner);
        }
        ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
    }
}

CResult<std::shared_ptr<CSiteFolder>> CSiteFolder::Open(const std::string& root) {
    const int fd = ::open(root.empty() ? "." : root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return CError{errno};
    }
    return std::shared_ptr<CSiteFolder>(new CSiteFolder(root, CFileDescriptor(fd)));
}

std::optional<std::string> CSiteFolder::Relative(const std::string& path) const {
    return RelativeTo(m_strRoot, path);
}

std::optional<std::string> CSiteFolder::RealRelative(const std::string& path) const {
    // The folder held open, wherever it is now, not what its name leads to now: the kernel
    // names it in one call, where a walk would look at every folder of the path again.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    char root[PATH_MAX];
    const ssize_t n = ::readlink(self.c_str(), root, sizeof root);
    const std::string_view named(root, n > 0 ? static_cast<size_t>(n) : 0);
    if (n < static_cast<ssize_t>(sizeof root) && named.starts_with('/') &&
        !named.ends_with(" (deleted)")) {
        return RelativeTo(std::string(named), path);
    }
    // No /proc, or a folder removed meanwhile: realpath decides as before.
    const auto real = RealPath(self);
    if (!real) {
        return std::nullopt;
    }
    return RelativeTo(*real, path);
}

std::string CSiteFolder::PathOf(const std::string& relative) const {
    if (relative.empty()) {
        return m_strRoot;
    }
    return m_strRoot + (m_strRoot.ends_with('/') ? "" : "/") + relative;
}

CResult<CFileDescriptor> CSiteFolder::OpenAt(const std::string& relative, int flags,
                                             mode_t mode) const {
    const std::string path = relative.empty() ? "." : relative;
    if (path.starts_with('/')) {
        return CError{EXDEV};
    }
    const bool creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    if (UseOpenat2()) {
        open_how how{};
        how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
        how.mode = creates ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, m_fd.get(), path.c_str(), &how, sizeof how);
        if (fd >= 0) {
            return CFileDescriptor(static_cast<int>(fd));
        }
        if (errno != ENOSYS && errno != EPERM) {
            return CError{errno};
        }
    }
    return Walk(m_fd.get(), path, flags, creates ? mode : 0);
}

CResult<CFileDescriptor> CSiteFolder::Folder(const std::string& relative, bool create) const {
    auto open = [this](const std::string& path) {
        auto folder = OpenAt(path, O_RDONLY | O_DIRECTORY);
        // A folder that may be searched but not read still serves to make files in.
        return folder.error == EACCES ? OpenAt(path, O_PATH | O_DIRECTORY) : std::move(folder);
    };
    auto folder = open(relative);
    if (!create || folder.error != ENOENT) {
        return folder;
    }
    const auto [parentPath, name] = SplitSitePath(relative);
    auto parent = Folder(parentPath, true);
    if (!parent) {
        return parent;
    }
    if (::mkdirat(parent.value.get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
        return CError{errno};
    }
    return open(relative);
}

int CSiteFolder::Stat(const std::string& relative, struct stat& st) const {
    const auto [folder, name] = SplitSitePath(relative);
    if (name.empty()) {
        return ::fstat(m_fd.get(), &st) == 0 ? 0 : errno;
    }
    const auto parent = OpenAt(folder, O_PATH | O_DIRECTORY);
    if (!parent) {
        return parent.error;
    }
    return ::fstatat(parent.value.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int CSiteFolder::Unlink(const std::string& relative) const {
    const auto [folder, name] = SplitSitePath(relative);
    const auto parent = OpenAt(folder, O_PATH | O_DIRECTORY);
    if (!parent) {
        return parent.error;
    }
    // Removes a link itself, never what it leads to.
    return ::unlinkat(parent.value.get(), name.c_str(), 0) == 0 ? 0 : errno;
}

CResult<std::string> CSiteFolder::ReadSmall(const std::string& relative, size_t limit_bytes) const {
    // O_NONBLOCK: a pipe put there must not hang the open.
    auto file = OpenAt(relative, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!file) {
        return CError{file.error};
    }
    return ReadUpTo(file.value.get(), limit_bytes);
}

CResult<std::string> ReadUpTo(int fd, size_t limit_bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return CError{errno};
    }
    if (!S_ISREG(st.st_mode)) {
        return CError{S_ISDIR(st.st_mode) ? EISDIR : EINVAL};
    }
    if (static_cast<uint64_t>(st.st_size) > limit_bytes) {
        return CError{EFBIG};
    }
    CResult<std::string> text;
    // One byte more than allowed shows a file that grew meanwhile.
    text.value.resize(std::min(limit_bytes, size_t(st.st_size)) + 1);
    size_t filled = 0;
    while (true) {
        if (filled == text.value.size()) {
            if (filled > limit_bytes) {
                return CError{EFBIG};
            }
            text.value.resize(std::min(limit_bytes + 1, filled * 2 + 4096));
        }
        const ssize_t n = ::read(fd, text.value.data() + filled, text.value.size() - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return CError{errno};
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<size_t>(n);
    }
    if (filled > limit_bytes) {
        return CError{EFBIG};
    }
    text.value.resize(filled);
    return text;
}

CResult<CNewSiteFile> CSiteFolder::Create(const std::string& relative, mode_t mode) const {
    const auto [folderPath, name] = SplitSitePath(relative);
    auto folder = Folder(folderPath);
    if (!folder) {
        return CError{folder.error};
    }
    CResult<CNewSiteFile> file;
    CNewSiteFile& made = file.value;
    made.m_strName = name;
    const int fd = ::openat(folder.value.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0) {
        made.m_fd.Reset(fd);
        made.m_folder = std::move(folder.value);
        return file;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return CError{errno};
    }
    // A folder of ours that nobody else may enter, holding the file under its final name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        made.m_strPrivate = DebrisName() + RandomSuffix();
        if (::mkdirat(folder.value.get(), made.m_strPrivate.c_str(), 0700) == 0) {
            break;
        }
        if (errno != EEXIST) {
            return CError{errno};
        }
        made.m_strPrivate.clear();
    }
    made.m_private.Reset(::openat(folder.value.get(), made.m_strPrivate.c_str(),
                                  O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    made.m_folder = std::move(folder.value);
    if (!made.m_private.valid()) {
        return CError{errno};
    }
    made.m_fd.Reset(::openat(made.m_private.get(), name.c_str(),
                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!made.m_fd.valid()) {
        return CError{errno};
    }
    return file;
}

CNewSiteFile::~CNewSiteFile() {
    Discard();
}

CNewSiteFile::CNewSiteFile(CNewSiteFile&& other) noexcept {
    *this = std::move(other);
}

CNewSiteFile& CNewSiteFile::operator=(CNewSiteFile&& other) noexcept {
    if (this != &other) {
        Discard();
        m_fd = std::move(other.m_fd);
        m_folder = std::move(other.m_folder);
        m_private = std::move(other.m_private);
        m_strName = std::move(other.m_strName);
        m_strPrivate = std::move(other.m_strPrivate);
    }
    return *this;
}

void CNewSiteFile::Discard() {
    if (m_private.valid()) {
        ::unlinkat(m_private.get(), m_strName.c_str(), 0);
        ::unlinkat(m_folder.get(), m_strPrivate.c_str(), AT_REMOVEDIR);
        m_private.Reset();
    }
    m_fd.Reset();
}

int CNewSiteFile::Commit(bool replace) {
    if (!m_fd.valid() || !m_folder.valid()) {
        return EBADF;
    }
    const int folder = m_folder.get();
    int error = 0;
    if (m_private.valid()) {
        if (::renameat2(m_private.get(), m_strName.c_str(), folder, m_strName.c_str(),
                        replace ? 0 : RENAME_NOREPLACE) != 0) {
            error = errno;
        }
    } else {
        // linkat needs a name for a nameless file: its own entry in /proc.
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
        if (!replace) {
            if (::linkat(AT_FDCWD, self.c_str(), folder, m_strName.c_str(), AT_SYMLINK_FOLLOW) !=
                0) {
                error = errno;
            }
        } else {
            std::string temporary;
            int linked = 0;
            do {
                temporary = DebrisName() + RandomSuffix();
                linked =
                    ::linkat(AT_FDCWD, self.c_str(), folder, temporary.c_str(), AT_SYMLINK_FOLLOW);
            } while (linked != 0 && errno == EEXIST);
            if (linked != 0) {
                error = errno;
            } else if (::renameat(folder, temporary.c_str(), folder, m_strName.c_str()) != 0) {
                error = errno;
                ::unlinkat(folder, temporary.c_str(), 0);
            }
        }
    }
    if (error == 0) {
        // The name must now hold this file, not one put there meanwhile.
        struct stat atName {
        }, ours{};
        if (::fstatat(folder, m_strName.c_str(), &atName, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstat(m_fd.get(), &ours) != 0 || !SameFile(atName, ours)) {
            error = ESTALE;
        }
        ::fsync(folder);
    }
    Discard();
    return error;
}
