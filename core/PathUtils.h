// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

// Path parts. Paths are POSIX paths; "/" plays the part of the path separator everywhere.
std::string GetPathFolder(std::string_view path);
std::string GetPathFileName(std::string_view path);
std::string GetPathFileTitle(std::string_view path);
// The extension with its dot (".mp4"), or empty.
std::string GetPathExtension(std::string_view path);
std::string AddBackslash(std::string_view path);
std::string RemoveBackslash(std::string_view path);
// Combines a folder and a relative path, resolving "." and ".." components.
std::string CombinePath(std::string_view folder, std::string_view relative);
// A `relative` of exactly "/" yields `folder` unchanged. With `trimAndJoin` set the two are joined
// with exactly one separator; otherwise as CombinePath with leading separators of `relative`
// removed.
std::string JoinPath(std::string_view relative, std::string_view folder, bool trimAndJoin);
std::string TrimLeftChars(std::string_view text, std::string_view set);
std::string TrimRightChars(std::string_view text, std::string_view set);
// An absolute path without an empty component and without NUL or control characters.
bool IsValidPath(std::string_view path);

// Unique names and files.
// Reserves an empty file "<temp folder><prefix or ~><n>.LOG" for the smallest free n.
std::optional<std::string> CreateUniqueTempFile(const char* prefix);
std::string MakeUniquePath(const std::string& path);
bool CanWriteToFolder(const std::string& folder);
// Deletes a folder with everything in it; refuses "/" and the user's home folder.
bool DeleteFolder(const std::string& path);
// 0 when both files hold the same bytes, 1 otherwise (unreadable, 4 GiB or more, different).
int FilesDiffer(const std::string& a, const std::string& b);

// URLs.
// Which bytes EscapeForUrl writes as "%XX": besides control and non-ASCII bytes, those that
// would end an attribute, cut the URL or change its meaning in a path (with or without blanks
// and parentheses), also "/" and the other delimiters in a file name, or all but the unreserved
// characters and "/".
enum class UrlPart { Path, PathKeepingBlanks, FileName, Unreserved };
// `text` in the system code page as URL text: its UTF-8 bytes, escaped as `part` says.
std::string EscapeForUrl(std::string_view text, UrlPart part);
// The URL form of a path, as written into pages: an absolute path becomes a file URL; every
// character that would end an attribute, cut the URL or change its meaning is percent-escaped.
std::string PathToUrl(std::string_view path);
// The same for a path whose last component is already escaped (EscapeFileNameForUrl).
std::string PathToUrlKeepingName(std::string_view folder, std::string_view escapedName);

// Messages and formatting.
std::string GetLastErrorText();
std::string GetErrorText(int error);
std::string FormatTwoDigits(unsigned n);
std::string FormatDuration(double seconds, int fractionDigits);
std::string FormatFileSize(int64_t bytes);
size_t SplitString(std::string_view text, std::string_view delimiters,
                   std::vector<std::string>& list);
size_t GetHtml5ExtensionList(std::vector<std::string>& list);

// Case-insensitive ASCII comparison, for texts that are not paths.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string ToLowerAscii(std::string_view text);
// Replaces each `what` in `text`, left to right, with `with`; the number of replacements.
size_t ReplaceAll(std::string& text, std::string_view what, std::string_view with);
// Removes blanks, tabs and line breaks at both ends.
std::string TrimWhiteSpace(std::string_view text);
// The last line of `text` that is not blank, without its trailing blanks.
std::string LastLine(std::string_view text);

bool PathExists(const std::string& path);
// Whether both paths lead to the same file (links followed); false when either is missing.
bool SameFile(const std::string& a, const std::string& b);
inline bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
bool IsFolder(const std::string& path);
bool IsRegularFile(const std::string& path);
// Creates a folder with all missing parents; true when it exists afterwards.
bool CreateFolders(const std::string& path);
// Gives the owner write permission back (the "read-only attribute"). A symbolic link at `path`
// is left alone: false with ELOOP.
bool ClearReadOnly(const std::string& path);
// The canonical form of an existing path, links resolved; nullopt when it cannot be resolved.
std::optional<std::string> RealPath(const std::string& path);
// Whether the canonical `path` is the canonical `folder` or lies below it.
bool IsInOrBelow(std::string_view path, std::string_view folder);

// The path from the folder `folderFrom` to `target` (a folder when it ends with "/"), made of
// whole components: "../" for each level up, then the rest of the target, which keeps its
// trailing "/"; a leading "./" is removed. Nullopt when either path is not absolute.
std::optional<std::string> RelativePathFrom(std::string_view folderFrom, std::string_view target);
