// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/CFileDescriptor.h"
#include "core/Error.h"

// A file being written into the site that has no name yet (or only a private one): it appears
// under its name at Commit, in one step, or not at all.
class CNewSiteFile {
public:
    CNewSiteFile() = default;
    ~CNewSiteFile();
    CNewSiteFile(CNewSiteFile&& other) noexcept;
    CNewSiteFile& operator=(CNewSiteFile&& other) noexcept;

    int Fd() const { return m_fd.get(); }
    // Puts the file at its name. With `replace` clear an existing file there is kept (EEXIST).
    // Afterwards the name is checked to hold this very file.
    int Commit(bool replace);

private:
    friend class CSiteFolder;
    void Discard();

    CFileDescriptor m_fd, m_folder;
    std::string m_strName;
    // The private folder the file was made in, where the folder cannot hold nameless files.
    CFileDescriptor m_private;
    std::string m_strPrivate;
};

// The site's root folder, held open, through which every file inside the site is reached. Paths
// are relative to the root ("medias/movie.mp4"; "" for the root itself). The kernel refuses a
// path that leads out of the root or through a symbolic link (ELOOP, EXDEV), so no name
// anyone changes meanwhile can take a write elsewhere.
class CSiteFolder {
public:
    // Opens `root`; a link in the root's own path is followed, once.
    static CResult<std::shared_ptr<CSiteFolder>> Open(const std::string& root);

    const std::string& Root() const { return m_strRoot; }
    // `path` relative to the root when it names the root or something below it, as text.
    std::optional<std::string> Relative(const std::string& path) const;
    // A path free of links (a real path) relative to the root's real folder, when it lies there.
    std::optional<std::string> RealRelative(const std::string& path) const;
    // The full path of `relative`, for messages.
    std::string PathOf(const std::string& relative) const;

    CResult<CFileDescriptor> OpenAt(const std::string& relative, int flags, mode_t mode = 0) const;
    // A folder of the site, made with its missing parents when `create` is set.
    CResult<CFileDescriptor> Folder(const std::string& relative, bool create = false) const;
    // What is at `relative`, a link not followed.
    int Stat(const std::string& relative, struct stat& st) const;
    int Unlink(const std::string& relative) const;
    // An existing regular file of at most `limit_bytes`, read whole in memory of that bound.
    // EFBIG when larger, EINVAL when not a regular file (a pipe, a device), ELOOP for a link.
    CResult<std::string> ReadSmall(const std::string& relative, size_t limit_bytes) const;
    // A new file of `mode` for `relative`, which appears at Commit.
    CResult<CNewSiteFile> Create(const std::string& relative, mode_t mode) const;

private:
    explicit CSiteFolder(std::string root, CFileDescriptor fd)
        : m_strRoot(std::move(root)), m_fd(std::move(fd)) {}

    std::string m_strRoot;
    CFileDescriptor m_fd;
};

// The regular file open at `fd`, read whole from where it stands in memory of at most
// `limit_bytes`: EFBIG when larger (or grown so meanwhile), EISDIR or EINVAL when no regular file.
CResult<std::string> ReadUpTo(int fd, size_t limit_bytes);

// The folder and the last name of a relative path ("a/b/c" gives "a/b" and "c").
std::pair<std::string, std::string> SplitSitePath(const std::string& relative);

// The prefix of every temporary this program makes, followed by the maker's process id.
inline constexpr const char* kDebrisPrefix = ".~dede5-";
// A temporary's name for this process: the prefix, our process id, a dash.
std::string DebrisName();
// Whether `name` is "<prefix><process id>-…" of a process that is gone.
bool MadeByAGoneRun(std::string_view name, std::string_view prefix);
// Removes the temporaries named by DebrisName in `folderFd` whose process is gone.
void SweepDebrisAt(int folderFd);
