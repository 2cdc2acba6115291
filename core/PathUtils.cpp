// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PathUtils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/CFileDescriptor.h"
#include "core/CodePage.h"
#include "core/Folders.h"
#include "core/MediaFormat.h"

namespace {

// Reads up to `size` bytes at `offset`; false on a read error or a file cut short meanwhile.
bool ReadFully(int fd, char* buffer, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, buffer, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        buffer += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// Where the next data of `fd` at or after `offset` starts; `size` when only a hole follows, and
// `offset` itself where the file system cannot tell.
off_t NextData(int fd, off_t offset, off_t size) {
    const off_t data = ::lseek(fd, offset, SEEK_DATA);
    if (data >= 0) {
        return std::min(data, size);
    }
    return errno == ENXIO ? size : offset;
}

// Compares two files of `size` bytes in windows of a fixed size, so that memory stays bounded
// whatever the files' size. Ranges that are holes in both files hold zeros in both and are
// skipped unread.
bool SameBytes(int fa, int fb, off_t size) {
    constexpr size_t kWindow = size_t{256} << 10;
    ::posix_fadvise(fa, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(fb, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<char[]> ba(new char[kWindow]);
    std::unique_ptr<char[]> bb(new char[kWindow]);
    // Looking for holes costs two system calls; it is done only every few megabytes.
    constexpr off_t kHoleCheck = off_t{64} << 20;
    off_t nextHoleCheck = 0;
    off_t offset = 0;
    while (offset < size) {
        if (offset >= nextHoleCheck) {
            const off_t data = std::min(NextData(fa, offset, size), NextData(fb, offset, size));
            nextHoleCheck = data + kHoleCheck;
            if (data > offset) {
                offset = data;
                continue;
            }
        }
        const size_t n = static_cast<size_t>(std::min<off_t>(size - offset, kWindow));
        if (!ReadFully(fa, ba.get(), n, offset) || !ReadFully(fb, bb.get(), n, offset) ||
            std::memcmp(ba.get(), bb.get(), n) != 0) {
            return false;
        }
        offset += static_cast<off_t>(n);
    }
    return true;
}

// The lexical form: "." and ".." resolved, doubled separators dropped, a trailing "/" kept.
std::string Normal(std::string_view path) {
    std::string out = std::filesystem::path(path).lexically_normal();
    if (out == ".") {
        return {};
    }
    if (!out.empty() && out.find_first_not_of('/') == std::string::npos) {
        return "/";
    }
    const bool trailing = path.size() > 1 && path.back() == '/';
    if (trailing && !out.ends_with('/')) {
        out += '/';
    } else if (!trailing && out.ends_with('/')) {
        out.pop_back();
    }
    return out;
}

bool DeleteTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlink(path.c_str()) == 0;
    }
    ::chmod(path.c_str(), st.st_mode | S_IRWXU);
    bool ok = true;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
                continue;
            }
            ok = DeleteTree(path + "/" + entry->d_name) && ok;
        }
        ::closedir(dir);
    } else {
        ok = false;
    }
    return ::rmdir(path.c_str()) == 0 && ok;
}

bool NeedsUrlEscape(unsigned char c, UrlPart part) {
    if (part == UrlPart::Unreserved) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        return !alphanumeric &&
               std::string_view("-._~/").find(static_cast<char>(c)) == std::string_view::npos;
    }
    if (c == ' ' || c == '(' || c == ')') {
        return part != UrlPart::PathKeepingBlanks;
    }
    if (c < 0x20 || c >= 0x7F) {
        return true;
    }
    // ':' because "Part:2.mp4" alone would read as a URL of the scheme "part"; '&' because
    // "&amp;" in a name would be read as "&" inside the attribute.
    if (std::string_view("'\"#%&?<>\\:").find(static_cast<char>(c)) != std::string_view::npos) {
        return true;
    }
    return part == UrlPart::FileName &&
           std::string_view("^`{}|[]/").find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string GetPathFolder(std::string_view path) {
    return std::filesystem::path(path).parent_path();
}

std::string GetPathFileName(std::string_view path) {
    return std::filesystem::path(path).filename();
}

std::string GetPathExtension(std::string_view path) {
    const std::string name = GetPathFileName(path);
    return name.substr(std::min(name.rfind('.'), name.size()));
}

std::string GetPathFileTitle(std::string_view path) {
    const std::string name = GetPathFileName(path);
    return name.substr(0, name.rfind('.'));
}

std::string AddBackslash(std::string_view path) {
    std::string out(path);
    if (!out.empty() && out.back() != '/') {
        out += '/';
    }
    return out;
}

std::string RemoveBackslash(std::string_view path) {
    std::string out(path);
    if (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

std::string CombinePath(std::string_view folder, std::string_view relative) {
    return Normal(relative.empty() ? std::string(folder)
                                   : (std::filesystem::path(folder) / relative).native());
}

std::string JoinPath(std::string_view relative, std::string_view folder, bool trimAndJoin) {
    if (relative == "/") {
        return std::string(folder);
    }
    if (trimAndJoin) {
        return TrimRightChars(folder, "/") + "/" + TrimLeftChars(relative, "/");
    }
    return CombinePath(folder, TrimLeftChars(relative, "/"));
}

std::string TrimLeftChars(std::string_view text, std::string_view set) {
    size_t first = text.find_first_not_of(set);
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string TrimRightChars(std::string_view text, std::string_view set) {
    size_t last = text.find_last_not_of(set);
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

bool IsValidPath(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        return false;
    }
    if (path.find("//") != std::string_view::npos) {
        return false;
    }
    return std::none_of(path.begin(), path.end(), [](char ch) {
        unsigned char c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F;
    });
}

std::optional<std::string> CreateUniqueTempFile(const char* prefix) {
    static std::mutex lock;
    std::string folder = GetTempFolder();
    if (folder.empty()) {
        folder = GetModuleFolder();
    }
    std::string result;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (int n = 0; n < 2147483647; ++n) {
            const std::string candidate =
                std::filesystem::path(folder) / fmt::sprintf("%s%d.LOG", prefix ? prefix : "~", n);
            int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0600);
            if (fd >= 0) {
                ::close(fd);
                result = candidate;
                break;
            }
            if (errno != EEXIST) {
                break;
            }
        }
    }
    if (result.empty() || !PathExists(result)) {
        return std::nullopt;
    }
    return result;
}

std::string MakeUniquePath(const std::string& path) {
    if (!PathExists(path)) {
        return path;
    }
    const std::string title = GetPathFileTitle(path);
    const std::string ext = GetPathExtension(path);
    for (int n = 0;; ++n) {
        const std::string candidate =
            std::filesystem::path(path).replace_filename(fmt::sprintf("%s-%d%s", title, n, ext));
        if (!PathExists(candidate)) {
            return candidate;
        }
    }
}

bool CanWriteToFolder(const std::string& folder) {
    std::string name = std::filesystem::path(folder) / "~XXXXXX";
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    const bool ok =
        CFileDescriptor(::open(name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC)).valid();
    ::unlink(name.c_str());
    return ok;
}

bool DeleteFolder(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const std::string real = RealPath(path).value_or(path);
    if (real == "/" || path == "/") {
        return false;
    }
    const std::string home = GetHomeFolder();
    if (!home.empty() && real == RealPath(home).value_or(home)) {
        return false;
    }
    // Without its trailing "/", which would make lstat follow a link.
    const std::string target = RemoveBackslash(path);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return DeleteTree(target);
    }
    return ::rmdir(target.c_str()) == 0;
}

int FilesDiffer(const std::string& a, const std::string& b) {
    CFileDescriptor fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
    CFileDescriptor fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fa.valid() || !fb.valid()) {
        return 1;
    }
    struct stat sa {
    }, sb{};
    if (::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0) {
        return 1;
    }
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) {
        return 1;
    }
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) {
        return 0;
    }
    const bool same = SameBytes(fa.get(), fb.get(), sa.st_size);
    bool closed = fa.Close();
    closed = fb.Close() && closed;
    return same && closed ? 0 : 1;
}

std::string EscapeForUrl(std::string_view text, UrlPart part) {
    std::string bytes(text);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    // The UTF-8 bytes, so that the URL means the same file in a page of any encoding.
    if (!ascii) {
        if (auto utf8 = codepage::SystemToUtf8(bytes)) {
            bytes = std::move(*utf8);
        }
    }
    std::string out;
    out.reserve(bytes.size() + 16);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsUrlEscape(c, part)) {
            out += fmt::format("%{:02X}", c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string PathToUrl(std::string_view path) {
    std::string out;
    const bool longEnough = path.size() >= 2;
    if (longEnough && path.front() == '/') {
        out = "file://";
    }
    out += EscapeForUrl(path, longEnough ? UrlPart::Path : UrlPart::PathKeepingBlanks);
    return out;
}

std::string PathToUrlKeepingName(std::string_view folder, std::string_view escapedName) {
    if (folder.empty()) {
        return std::string(escapedName);
    }
    std::string out = PathToUrl(AddBackslash(folder));
    out += escapedName;
    return out;
}

std::string GetErrorText(int error) {
    char buffer[256] = {};
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    std::string out = text ? text : "";
    if (out.empty() || out.starts_with("Unknown error")) {
        return fmt::sprintf("(%d)", error);
    }
    return out.substr(0, 255);
}

std::string GetLastErrorText() {
    return GetErrorText(errno);
}

std::string FormatTwoDigits(unsigned n) {
    return fmt::sprintf("%02u", n);
}

std::string FormatDuration(double seconds, int fractionDigits) {
    if (!(seconds > 0)) {
        seconds = 0;
    }
    const auto s = static_cast<unsigned long long>(seconds);
    std::string text = fmt::sprintf("%02llu", s / 3600) + ":" +
                       FormatTwoDigits(static_cast<unsigned>(s / 60 % 60)) + ":" +
                       FormatTwoDigits(static_cast<unsigned>(s % 60));
    if (fractionDigits > 0) {
        std::string printed = fmt::sprintf(fmt::sprintf("%%.%df", fractionDigits), seconds);
        const size_t d = static_cast<size_t>(fractionDigits);
        text += "." + (printed.size() > d ? printed.substr(printed.size() - d) : printed);
    }
    return text;
}

std::string FormatFileSize(int64_t bytes) {
    if (bytes < 1048576) {
        return fmt::sprintf("%.2f KB", static_cast<double>(bytes) / 1024.0);
    }
    if (bytes < 1073741824) {
        return fmt::sprintf("%.2f MB", static_cast<double>(bytes) / 1048576.0);
    }
    return fmt::sprintf("%.2f GB", static_cast<double>(bytes) / 1073741824.0);
}

size_t SplitString(std::string_view text, std::string_view delimiters,
                   std::vector<std::string>& list) {
    size_t pos = 0;
    while (true) {
        size_t start = text.find_first_not_of(delimiters, pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = text.find_first_of(delimiters, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        list.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return list.size();
}

size_t GetHtml5ExtensionList(std::vector<std::string>& list) {
    for (const MediaExtension& extension : kMediaExtensions) {
        if (extension.droppable) {
            list.emplace_back(extension.name);
        }
    }
    return list.size();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(text[i]);
        unsigned char y = static_cast<unsigned char>(prefix[i]);
        if (x != y && !(x < 0x80 && y < 0x80 && std::tolower(x) == std::tolower(y))) {
            return false;
        }
    }
    return true;
}

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char ch) {
        return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    });
    return out;
}

size_t ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    if (what.empty()) {
        return 0;
    }
    // Built anew rather than replaced in place, so that a page with many hits stays linear;
    // glibc's memmem beats a first-character scan on markup full of '<'.
    std::string out;
    size_t count = 0;
    size_t start = 0;
    while (const void* found =
               ::memmem(text.data() + start, text.size() - start, what.data(), what.size())) {
        const size_t hit = static_cast<size_t>(static_cast<const char*>(found) - text.data());
        if (count++ == 0) {
            out.reserve(text.size());
        }
        out.append(text, start, hit - start);
        out.append(with);
        start = hit + what.size();
    }
    if (count != 0) {
        out.append(text, start);
        text = std::move(out);
    }
    return count;
}

std::string TrimWhiteSpace(std::string_view text) {
    return TrimRightChars(TrimLeftChars(text, " \t\r\n\v\f"), " \t\r\n\v\f");
}

std::string LastLine(std::string_view text) {
    const size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string_view::npos) {
        return {};
    }
    const size_t start = text.find_last_of("\r\n", end) + 1;
    return std::string(text.substr(start, end - start + 1));
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && SameFile(sa, sb);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CreateFolders(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (IsFolder(path)) {
        return true;
    }
    std::string parent = GetPathFolder(RemoveBackslash(path));
    if (!parent.empty() && parent != path && !IsFolder(parent)) {
        if (!CreateFolders(parent)) {
            return false;
        }
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        return false;
    }
    return IsFolder(path);
}

bool ClearReadOnly(const std::string& path) {
    // The file itself, never what a link in its place points to: opened without following one,
    // and changed through that descriptor.
    CFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() && errno == EACCES) {
        // Not readable by its owner either: held by path alone, changed through /proc.
        fd.Reset(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    }
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        errno = ELOOP;
        return false;
    }
    if (st.st_mode & S_IWUSR) {
        return true;
    }
    const mode_t mode = (st.st_mode & 07777) | S_IWUSR;
    if (::fchmod(fd.get(), mode) == 0) {
        return true;
    }
    return errno == EBADF && ::chmod(fmt::format("/proc/self/fd/{}", fd.get()).c_str(), mode) == 0;
}

std::optional<std::string> RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        return std::nullopt;
    }
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool IsInOrBelow(std::string_view path, std::string_view folder) {
    if (folder == "/") {
        return path.starts_with('/');
    }
    return path == folder ||
           (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

std::optional<std::string> RelativePathFrom(std::string_view folderFrom, std::string_view target) {
    if (!folderFrom.starts_with('/') || !target.starts_with('/')) {
        return std::nullopt;
    }
    const std::string to = Normal(target);
    const std::filesystem::path from = RemoveBackslash(Normal(folderFrom));
    // Compared without their trailing "/", which would count as one more (empty) component.
    std::string result = std::filesystem::path(RemoveBackslash(to)).lexically_relative(from);
    if (to.ends_with('/')) {
        result += '/';
    }
    if (result.starts_with("./")) {
        result.erase(0, 2);
    }
    return result;
}
