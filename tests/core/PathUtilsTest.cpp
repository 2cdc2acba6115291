// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PathUtils.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/CodePage.h"
#include "core/Folders.h"
#include "tests/support/Sandbox.h"

namespace {

TEST(PathParts, FolderNameAndTitle) {
    EXPECT_EQ(GetPathFolder("/srv/site/index.htm"), "/srv/site");
    EXPECT_EQ(GetPathFolder("/index.htm"), "/");
    EXPECT_EQ(GetPathFolder("index.htm"), "");
    EXPECT_EQ(GetPathFolder("/srv/site/"), "/srv/site");
    EXPECT_EQ(GetPathFolder("/srv/site///index.htm"), "/srv/site");
    EXPECT_EQ(GetPathFileName("/srv/site/My Clip.mp4"), "My Clip.mp4");
    EXPECT_EQ(GetPathFileTitle("/srv/site/My.Clip.mp4"), "My.Clip");
    EXPECT_EQ(GetPathFileTitle("/srv/clip"), "clip");
    EXPECT_EQ(GetPathExtension("/srv/a.b/clip"), "");
    EXPECT_EQ(GetPathExtension("/srv/clip.MP4"), ".MP4");
}

TEST(PathParts, SeparatorsAreNeverDoubledOrLost) {
    EXPECT_EQ(AddBackslash("/d/site"), "/d/site/");
    EXPECT_EQ(AddBackslash("/d/site/"), "/d/site/");
    EXPECT_EQ(AddBackslash(""), "");

    // A single "/" as the relative folder is the folder itself, whatever the flag.
    EXPECT_EQ(JoinPath("/", "/d/site/", true), "/d/site/");
    EXPECT_EQ(JoinPath("/", "/d/site", false), "/d/site");
    // Trim-and-join: exactly one separator between, the trailing one kept.
    EXPECT_EQ(JoinPath("/js/", "/d/site/", true), "/d/site/js/");
    EXPECT_EQ(JoinPath("medias", "../", true), "../medias");
    EXPECT_EQ(JoinPath("clip.mp4", "", true), "/clip.mp4");
    // Combine: "." dropped, ".." removes the component before, trailing separator kept.
    EXPECT_EQ(JoinPath("/js/", "/d/site/", false), "/d/site/js/");
    EXPECT_EQ(JoinPath("js", "/d/site/", false), "/d/site/js");
    EXPECT_EQ(JoinPath("./js/../media/", "/d/site", false), "/d/site/media/");
    EXPECT_EQ(CombinePath("/d/site/", ""), "/d/site/");
    EXPECT_EQ(CombinePath("/d/site", "/abs/x"), "/abs/x");
    EXPECT_EQ(CombinePath("/", ".."), "/");
    EXPECT_EQ(CombinePath("//", "a"), "/a");
    EXPECT_EQ(CombinePath("/d//site/js/..", "./"), "/d/site/");
    EXPECT_EQ(CombinePath("js", ".."), "");
}

TEST(PathParts, TrimChars) {
    EXPECT_EQ(TrimLeftChars("//a/", "/"), "a/");
    EXPECT_EQ(TrimRightChars("//a//", "/"), "//a");
    EXPECT_EQ(TrimLeftChars("abc", ""), "abc");
    EXPECT_EQ(TrimRightChars("///", "/"), "");
    EXPECT_EQ(TrimWhiteSpace(" \t/a b\r\n"), "/a b");
}

TEST(PathParts, ValidPaths) {
    struct Row {
        const char* path;
        bool valid;
    } rows[] = {
        {"/", true},         {"/srv/site/", true},  {"/srv/a b/c?d*", true},
        {"", false},         {"relative/x", false}, {"/srv//site", false},
        {"//server", false}, {"/a\tb", false},      {"/a\x7f", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsValidPath(row.path), row.valid) << row.path;
    }
    EXPECT_FALSE(IsValidPath(std::string("/a\0b", 4)));
}

TEST(Urls, EscapesEverythingThatWouldBreakAnAttributeOrTheUrl) {
    EXPECT_EQ(PathToUrl("/srv/My Site/a.mp4"), "file:///srv/My%20Site/a.mp4");
    EXPECT_EQ(PathToUrl("medias/clip (1).mp4"), "medias/clip%20%281%29.mp4");
    EXPECT_EQ(PathToUrl("../js/"), "../js/");
    EXPECT_EQ(PathToUrl("Tom's \"clip\".mp4"), "Tom%27s%20%22clip%22.mp4");
    EXPECT_EQ(PathToUrl("a#b%c?.mp4"), "a%23b%25c%3F.mp4");
    EXPECT_EQ(PathToUrl("R&amp;B.mp3"), "R%26amp;B.mp3");
    EXPECT_EQ(PathToUrl("x\\y<z>.mp4"), "x%5Cy%3Cz%3E.mp4");
    EXPECT_EQ(PathToUrl("a\nb"), "a%0Ab");
    // One character: no file URL and no blank escape, but quotes still cannot end the attribute.
    EXPECT_EQ(PathToUrl(" "), " ");
    EXPECT_EQ(PathToUrl("'"), "%27");
    EXPECT_EQ(PathToUrl("/"), "/");
}

TEST(Urls, EachPartEscapesItsOwnSet) {
    const struct {
        UrlPart part;
        const char* escaped;
    } rows[] = {
        {UrlPart::Path, "a%20b/c%3Ad^e%28f%29~%C3%A4"},
        {UrlPart::PathKeepingBlanks, "a b/c%3Ad^e(f)~%C3%A4"},
        {UrlPart::FileName, "a%20b%2Fc%3Ad%5Ee%28f%29~%C3%A4"},
        {UrlPart::Unreserved, "a%20b/c%3Ad%5Ee%28f%29~%C3%A4"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EscapeForUrl("a b/c:d^e(f)~\xC3\xA4", row.part), row.escaped);
    }
}

TEST(Texts, ReplaceAllDoesNotRescanWhatItPutIn) {
    std::string text = "$(a) and $(a)";
    EXPECT_EQ(ReplaceAll(text, "$(a)", "[$(a)]"), 2u);
    EXPECT_EQ(text, "[$(a)] and [$(a)]");
    EXPECT_EQ(ReplaceAll(text, "", "x"), 0u);
}

TEST(Urls, NonAsciiNamesCarryTheirUtf8Bytes) {
    EXPECT_EQ(PathToUrl("m\xC3\xA4rz.mp4"), "m%C3%A4rz.mp4");
    codepage::SetSystemCodePageForTesting("CP1252");
    EXPECT_EQ(PathToUrl("m\xE4rz.mp4"), "m%C3%A4rz.mp4");
    codepage::SetSystemCodePageForTesting("");
}

TEST(Urls, AlreadyEscapedNameIsLeftAlone) {
    EXPECT_EQ(PathToUrlKeepingName("../../medias", "My%20Clip.mp4"), "../../medias/My%20Clip.mp4");
    EXPECT_EQ(PathToUrlKeepingName("", "a%C3%A4.mp4"), "a%C3%A4.mp4");
    EXPECT_EQ(PathToUrlKeepingName("my media", "x%25.mp4"), "my%20media/x%25.mp4");
}

TEST(Formatting, FileSizeBoundaries) {
    EXPECT_EQ(FormatFileSize(1048575), "1024.00 KB");
    EXPECT_EQ(FormatFileSize(1048576), "1.00 MB");
    EXPECT_EQ(FormatFileSize(1073741823), "1024.00 MB");
    EXPECT_EQ(FormatFileSize(1073741824), "1.00 GB");
    EXPECT_EQ(FormatFileSize(-512), "-0.50 KB");
    EXPECT_EQ(FormatFileSize(0), "0.00 KB");
}

TEST(Formatting, DurationBoundaries) {
    EXPECT_EQ(FormatDuration(86400, 0), "24:00:00");
    EXPECT_EQ(FormatDuration(3725.5, 2), "01:02:05.50");
    EXPECT_EQ(FormatDuration(3725.9, 0), "01:02:05");
    EXPECT_EQ(FormatDuration(360000, 0), "100:00:00");
    EXPECT_EQ(FormatDuration(0.25, 1), "00:00:00.2");
    EXPECT_EQ(FormatTwoDigits(7), "07");
}

TEST(Formatting, SplitStringSkipsEmptyTokens) {
    std::vector<std::string> list{"kept"};
    EXPECT_EQ(SplitString(";;a;b;;c;", ";", list), 4u);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", "a", "b", "c"}));
    std::vector<std::string> ext;
    EXPECT_EQ(GetHtml5ExtensionList(ext), 7u);
    EXPECT_EQ(ext.front(), ".mp4");
    EXPECT_EQ(std::count(ext.begin(), ext.end(), ".ogv"), 0);
}

TEST(Formatting, ErrorTexts) {
    errno = ENOENT;
    EXPECT_EQ(GetLastErrorText(), "No such file or directory");
    EXPECT_EQ(GetErrorText(99999), "(99999)");
}

class FileHelpers : public ::testing::Test {
protected:
    test::Sandbox box;
};

TEST_F(FileHelpers, MakeUniquePathTriesZeroFirst) {
    const std::string clip = box.Write("clip.jpg", "x");
    EXPECT_EQ(MakeUniquePath(box / "free.jpg"), box / "free.jpg");
    EXPECT_EQ(MakeUniquePath(clip), box / "clip-0.jpg");
    box.Write("clip-0.jpg", "x");
    EXPECT_EQ(MakeUniquePath(clip), box / "clip-1.jpg");
    box.Write("noext", "x");
    EXPECT_EQ(MakeUniquePath(box / "noext"), box / "noext-0");
}

TEST_F(FileHelpers, FilesDiffer) {
    const std::string a = box.Write("a", "same bytes");
    const std::string b = box.Write("b", "same bytes");
    const std::string c = box.Write("c", "same bytez");
    const std::string d = box.Write("d", "same bytes!");
    const std::string e1 = box.Write("e1", "");
    const std::string e2 = box.Write("e2", "");
    EXPECT_EQ(FilesDiffer(a, b), 0);
    EXPECT_EQ(FilesDiffer(a, a), 0);
    EXPECT_EQ(FilesDiffer(a, c), 1) << "same size, other bytes";
    EXPECT_EQ(FilesDiffer(a, d), 1) << "different sizes";
    EXPECT_EQ(FilesDiffer(e1, e2), 0) << "two empty files";
    EXPECT_EQ(FilesDiffer(box / "missing", a), 1);
    EXPECT_EQ(FilesDiffer(a, box / "missing"), 1);
    EXPECT_EQ(FilesDiffer(box.path(), box.path()), 1) << "folders are not files";
}

// Sparse files past 4 GiB cost no disk space; bytes written into them make the comparison look
// beyond the first 32 bits of offset, and into holes of one file only.
TEST_F(FileHelpers, FilesOfFourGibibytesAndMoreAreComparedByTheirBytes) {
    constexpr off_t kFour = off_t{1} << 32;
    const auto make = [&](const char* name, off_t size) {
        const std::string path = box / name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        EXPECT_EQ(::pwrite(fd, "head", 4, 0), 4);
        EXPECT_EQ(::pwrite(fd, "tail", 4, kFour + 100), 4);
        ::close(fd);
        return path;
    };
    const auto poke = [](const std::string& path, off_t offset, std::string_view bytes) {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset),
                  static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    };
    const std::string a = make("big1", kFour + 8192);
    const std::string b = make("big2", kFour + 8192);
    EXPECT_EQ(FilesDiffer(a, b), 0) << "equal files of any size are equal";

    // Zeros written into one file where the other has a hole are still the same bytes.
    poke(a, off_t{3} << 30, std::string(size_t{1} << 20, '\0'));
    EXPECT_EQ(FilesDiffer(a, b), 0);

    poke(b, kFour + 101, "A");
    EXPECT_EQ(FilesDiffer(a, b), 1) << "a difference past 4 GiB";
    poke(b, kFour + 101, "a");
    ASSERT_EQ(FilesDiffer(a, b), 0);

    poke(b, off_t{2} << 30, "x");
    EXPECT_EQ(FilesDiffer(a, b), 1) << "data where the other file has a hole";
    EXPECT_EQ(FilesDiffer(b, a), 1);

    EXPECT_EQ(FilesDiffer(a, make("big3", kFour + 8193)), 1) << "sizes differ";
}

// The peak resident memory of this process, in bytes, since the last reset.
std::optional<long> PeakResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::stol(line.substr(6)) * 1024;
        }
    }
    return std::nullopt;
}

TEST_F(FileHelpers, FilesDifferNeedsLittleMemoryForLargeFiles) {
    constexpr size_t kSize = size_t{48} << 20;
    std::string bytes(kSize, '\0');
    for (size_t i = 0; i < kSize; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u) >> 11);
    }
    const std::string a = box.Write("a.mp4", bytes);
    const std::string b = box.Write("b.mp4", bytes);
    bytes = std::string();
    // Writing 5 resets the peak (Linux 4.0 and later).
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
        reset.flush();
        if (!reset) {
            GTEST_SKIP() << "the peak resident memory cannot be reset here";
        }
    }
    const std::optional<long> before = PeakResident();
    ASSERT_TRUE(before);
    EXPECT_EQ(FilesDiffer(a, b), 0);
    const std::optional<long> after = PeakResident();
    ASSERT_TRUE(after);
    EXPECT_LT(*after - *before, long{16} << 20) << "the files are read in windows, not whole";
}

TEST_F(FileHelpers, CanWriteToFolderLeavesNoProbe) {
    EXPECT_TRUE(CanWriteToFolder(box.path()));
    EXPECT_TRUE(CanWriteToFolder(box.path() + "/"));
    const std::string locked = box.MakeFolder("locked");
    ::chmod(locked.c_str(), 0500);
    if (::geteuid() != 0) {
        EXPECT_FALSE(CanWriteToFolder(locked));
    }
    EXPECT_FALSE(CanWriteToFolder(box / "missing"));
    ::chmod(locked.c_str(), 0700);
    int entries = 0;
    for (const char* folder : {"", "/locked"}) {
        std::string listing;
        test::Run({"ls", "-A", box.path() + folder}, &listing);
        entries += static_cast<int>(std::count(listing.begin(), listing.end(), '~'));
    }
    EXPECT_EQ(entries, 0);
}

TEST_F(FileHelpers, DeleteFolderRemovesEverythingButRefusesRootAndHome) {
    const std::string tree = box.MakeFolder("tree/sub/deeper");
    box.Write("tree/a.txt", "a");
    box.Write("tree/sub/deeper/b.txt", "b");
    ::chmod((box / "tree/sub/deeper/b.txt").c_str(), 0400);
    ::chmod((box / "tree/sub").c_str(), 0500);
    EXPECT_TRUE(DeleteFolder(box / "tree/"));
    EXPECT_FALSE(PathExists(box / "tree"));

    EXPECT_FALSE(DeleteFolder("/"));
    EXPECT_FALSE(DeleteFolder("/."));
    test::Environment env;  // HOME inside a sandbox of its own
    const std::string marker = env.sandbox.Write("home/keep.txt", "k");
    EXPECT_FALSE(DeleteFolder(env.home));
    EXPECT_FALSE(DeleteFolder(env.home + "/"));
    EXPECT_TRUE(PathExists(marker));
    EXPECT_FALSE(DeleteFolder(box / "missing"));
}

TEST_F(FileHelpers, TwoThreadsNeverGetTheSameTempName) {
    test::Environment env;
    std::vector<std::string> names[2];
    auto worker = [](std::vector<std::string>* out) {
        for (int i = 0; i < 200; ++i) {
            auto path = CreateUniqueTempFile("race-");
            ASSERT_TRUE(path.has_value());
            out->push_back(*path);
        }
    };
    std::thread t1(worker, &names[0]);
    std::thread t2(worker, &names[1]);
    t1.join();
    t2.join();
    std::set<std::string> all(names[0].begin(), names[0].end());
    all.insert(names[1].begin(), names[1].end());
    EXPECT_EQ(all.size(), 400u);
    EXPECT_EQ(*all.begin(), env.tmp + "/race-0.LOG");
    struct stat st {};
    ASSERT_EQ(::stat(all.begin()->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Folders, InstallFolderAndTempFolder) {
    test::Environment env;
    const char* saved = std::getenv("DEDE5_VARODO_HOME");
    const std::string savedHome = saved ? saved : "";
    ::setenv("DEDE5_VARODO_HOME", "/opt/varodo/", 1);
    EXPECT_EQ(GetInstallFolder(), "/opt/varodo");
    ::unsetenv("DEDE5_VARODO_HOME");
    EXPECT_FALSE(GetInstallFolder().empty());
    if (!savedHome.empty()) {
        ::setenv("DEDE5_VARODO_HOME", savedHome.c_str(), 1);
    }
    EXPECT_EQ(GetTempFolder(), env.tmp);
    ::unsetenv("TMPDIR");
    const std::string own = GetTempFolder();
    EXPECT_EQ(own, "/tmp/dede5-varodo-" + std::to_string(::getuid()));
    struct stat st {};
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    ::setenv("TMPDIR", env.tmp.c_str(), 1);
}

}  // namespace
