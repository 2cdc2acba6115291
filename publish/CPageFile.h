// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "core/CSiteFolder.h"
#include "publish/IFileWriter.h"

// An open page, closed when the object goes. Failures return false with errno set.
//
// A page is known by its folder, held open, and its name in it: a link named as the page is
// followed once, when it is opened, and never again, so that a link put in the page's place
// later is never written through. A page of a site is reached through the site's handle, and
// its folder must still be reached through it whenever the page is written.
class CPageFile {
public:
    // What is at the page's name now, looked at without following a link.
    enum class NameState {
        Same,      // the file held open
        Missing,   // nothing, or the folder cannot be read
        Replaced,  // another regular file
        NotAFile,  // a symbolic link, a folder or anything else that is not a regular file
    };

    CPageFile() = default;
    ~CPageFile();
    CPageFile(const CPageFile&) = delete;
    CPageFile& operator=(const CPageFile&) = delete;
    CPageFile(CPageFile&& other) noexcept;
    CPageFile& operator=(CPageFile&& other) noexcept;

    // Opens an existing regular file for reading and writing; through `site` when its real
    // path lies in the site.
    bool Open(const std::string& path, std::shared_ptr<const CSiteFolder> site = nullptr);
    void Close();

    int Fd() const { return m_nFd; }
    const std::string& Path() const { return m_strPath; }
    // The page's folder, held open since Open.
    int FolderFd() const { return m_nFolderFd; }
    // The site the page was opened through (null for a page outside it) and its folder there.
    const std::shared_ptr<const CSiteFolder>& Site() const { return m_pSite; }
    const std::string& SiteFolder() const { return m_strSiteFolder; }

    NameState CheckName() const;
    // Holds the regular file now at the page's name instead of the one opened (the user chose
    // to replace another program's version). False, with errno set, when there is none; ELOOP
    // when a link is there.
    bool TakeFileAtName();

    // The most a page may hold: larger pages are refused (EFBIG) rather than read.
    static constexpr size_t kPageLimit_bytes = size_t{64} << 20;
    // The whole content, read from the start; EFBIG past kPageLimit_bytes.
    bool ReadAll(std::string& bytes) const;
    // Writes `parts` one after the other from the start and cuts the file after them; the file
    // stays open.
    bool WriteInPlace(std::initializer_list<std::string_view> parts, IFileWriter& writer);
    // Replaces the page's content by `parts`, so that a failure at any point leaves the old
    // content whole or recoverable. Normally a temporary file beside the page, given the page's
    // owner, group, extended attributes (the ACL among them) and mode, flushed and swapped in
    // for the page; the swap is undone and the save refused (NameChanged) when what it replaced
    // was not the file held. Where the new file cannot be given all of that, the page has more
    // than one link, or no file can be made beside it, the page is written in place instead,
    // so it stays the same file: a copy of its old bytes is made first (in the per-user
    // temporary folder, else beside the page) and removed once the new content is on disk;
    // after a failure the old bytes are written back, and where even that fails the copy stays
    // and BackupPath names it. Afterwards this object holds the page.
    bool ReplaceContents(std::initializer_list<std::string_view> parts, IFileWriter& writer);

    // After a failed ReplaceContents: the page's name no longer led to the file held.
    bool NameChanged() const { return m_bNameChanged; }
    // After a failed ReplaceContents: where the page's old content is kept, when the page itself
    // may not hold it any more; else empty.
    const std::string& BackupPath() const { return m_strBackupPath; }

private:
    bool ReplaceByRename(std::initializer_list<std::string_view> parts, IFileWriter& writer,
                         bool& tryInPlace);
    bool WriteInPlaceKeepingACopy(std::initializer_list<std::string_view> parts,
                                  IFileWriter& writer);
    // The site's handle still leads to the folder held, through no link.
    bool FolderStillInSite() const;

    int m_nFd = -1;
    int m_nFolderFd = -1;
    std::string m_strPath;
    // The page's folder (as resolved on opening) and its name in it.
    std::string m_strFolder;
    std::string m_strName;
    std::shared_ptr<const CSiteFolder> m_pSite;
    std::string m_strSiteFolder;
    bool m_bNameChanged = false;
    std::string m_strBackupPath;
};
