// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileCopy.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CFileDescriptor.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"

namespace {

std::atomic<int64_t> g_faultAfter{-1};
std::atomic<int> g_faultError{0};

bool Fail(int error, const std::string& partial) {
    if (!partial.empty()) {
        ::unlink(partial.c_str());
    }
    errno = error;
    return false;
}

}  // namespace

void SetCopyFaultForTesting(int64_t afterBytes, int error) {
    g_faultError = error;
    g_faultAfter = afterBytes;
}

namespace {

// Copies `total` bytes from `in` to `out`; 0 or the errno that stopped it.
int CopyBytes(int in, int out, uint64_t total, const CopyProgress& progress) {
    uint64_t done = 0;
    const int64_t faultAfter = g_faultAfter.load();
    constexpr size_t kChunk = size_t{8} << 20;
    while (done < total) {
        if (StopRequested()) {
            return EINTR;
        }
        size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, total - done));
        if (faultAfter >= 0) {
            if (done >= static_cast<uint64_t>(faultAfter)) {
                return g_faultError.load();
            }
            want = static_cast<size_t>(
                std::min<uint64_t>(want, static_cast<uint64_t>(faultAfter) - done));
        }
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL)) {
            // Fall back to plain reads and writes where the kernel cannot copy directly.
            std::vector<char> buffer(std::min<size_t>(want, size_t{1} << 20));
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0 && !WriteAll(out, {buffer.data(), static_cast<size_t>(n)})) {
                return errno;
            }
        }
        if (n < 0) {
            if (errno == EINTR && !StopRequested()) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            // The source shrank while we copied it.
            return EIO;
        }
        done += static_cast<uint64_t>(n);
        if (progress && !progress(done, total)) {
            return ECANCELED;
        }
    }
    return StopRequested() ? EINTR : 0;
}

}  // namespace

bool CopyFileOverwrite(const std::string& source, const std::string& target,
                       const CopyProgress& progress) {
    CFileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) {
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    // A link in the target's place is never written through; replacing it is the caller's choice.
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        errno = ELOOP;
        return false;
    }
    const std::string folder = GetPathFolder(target);
    std::string partial = AddBackslash(folder.empty() ? "." : folder) + ".~copy-XXXXXX";
    CFileDescriptor out(::mkostemp(partial.data(), O_CLOEXEC));
    if (out.get() < 0) {
        return false;
    }
    if (const int error =
            CopyBytes(in.get(), out.get(), static_cast<uint64_t>(st.st_size), progress)) {
        return Fail(error, partial);
    }
    // Only an existing target has content that a crash before write-back could lose.
    const bool replacing = PathExists(target);
    if (::fchmod(out.get(), (st.st_mode & 0777) | S_IWUSR) != 0 ||
        (replacing && ::fsync(out.get()) != 0)) {
        return Fail(errno, partial);
    }
    if (::close(out.release()) != 0) {
        return Fail(errno, partial);
    }
    if (StopRequested()) {
        return Fail(EINTR, partial);
    }
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        return Fail(errno, partial);
    }
    return true;
}

int CopyFileIntoSite(const std::string& source, const CSiteFolder& site,
                     const std::string& relative, const CopyProgress& progress, bool replace) {
    CFileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.valid() || ::fstat(in.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    struct stat existing {};
    const int looked = site.Stat(relative, existing);
    if (looked == 0 && S_ISLNK(existing.st_mode)) {
        return ELOOP;
    }
    auto made = site.Create(relative, 0600);
    if (!made) {
        return made.error;
    }
    CNewSiteFile& file = made.value;
    if (const int error =
            CopyBytes(in.get(), file.Fd(), static_cast<uint64_t>(st.st_size), progress)) {
        return error;
    }
    if (::fchmod(file.Fd(), (st.st_mode & 0777) | S_IWUSR) != 0 ||
        (looked == 0 && ::fsync(file.Fd()) != 0)) {
        return errno;
    }
    if (StopRequested()) {
        return EINTR;
    }
    return file.Commit(replace);
}
