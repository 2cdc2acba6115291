// SPDX-License-Identifier: GPL-3.0-or-later
// What a save does to the page as a file: never writes through a link put in its place, keeps
// what the page is besides its text (owner, mode, ACL, extended attributes, other names), and
// where it must write the page in place, never loses the old text.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "publish/CHtmlPage.h"
#include "tests/publish/PageTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> FolderListing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Every extended attribute of a file, the ACL among them.
std::map<std::string, std::string> Attributes(const std::string& path) {
    std::map<std::string, std::string> out;
    char names[4096];
    const ssize_t n = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t pos = 0; pos < n; pos += static_cast<ssize_t>(std::strlen(names + pos)) + 1) {
        char value[4096];
        const ssize_t size = ::lgetxattr(path.c_str(), names + pos, value, sizeof value);
        out[names + pos] = size >= 0 ? std::string(value, static_cast<size_t>(size)) : "?";
    }
    return out;
}

// An access ACL in the kernel's form: owner rw, the named user r, owning group r, mask r,
// others nothing (mode 0640).
std::string AclGivingReadTo(uint32_t uid) {
    std::string acl;
    const auto put = [&](uint32_t value, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            acl.push_back(static_cast<char>(value >> (8 * i)));
        }
    };
    put(2, 4);  // version
    const uint32_t none = 0xFFFFFFFF;
    for (const auto& [tag, perm, id] : std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>{
             {0x01, 6, none}, {0x02, 4, uid}, {0x04, 4, none}, {0x10, 4, none}, {0x20, 0, none}}) {
        put(tag, 2);
        put(perm, 2);
        put(id, 4);
    }
    return acl;
}

// Fails writes to one file (the page, told by its inode): the n-th such write that fails stops
// after limits[n] bytes, and once the limits are used up writes go through. With `failOthers`,
// every write to any other file fails. `before` runs at the first write of a save.
class CPageFailingWriter : public IFileWriter {
public:
    CPageFailingWriter(const std::string& page, std::vector<size_t> limits, bool failOthers = false)
        : m_page(Stat(page)), m_limits(std::move(limits)), m_bFailOthers(failOthers) {}
    bool WriteAll(int fd, std::string_view bytes) override {
        if (before) {
            std::exchange(before, nullptr)();
        }
        struct stat st {};
        ::fstat(fd, &st);
        const bool isPage = st.st_ino == m_page.st_ino && st.st_dev == m_page.st_dev;
        if (!isPage && m_bFailOthers) {
            errno = ENOSPC;
            return false;
        }
        if (isPage && m_nUsed < m_limits.size() && bytes.size() > m_limits[m_nUsed]) {
            GetDefaultFileWriter().WriteAll(fd, bytes.substr(0, m_limits[m_nUsed++]));
            errno = ENOSPC;
            return false;
        }
        return GetDefaultFileWriter().WriteAll(fd, bytes);
    }
    bool Sync(int fd) override { return GetDefaultFileWriter().Sync(fd); }

    std::function<void()> before;

private:
    struct stat m_page;
    std::vector<size_t> m_limits;
    size_t m_nUsed = 0;
    bool m_bFailOthers;
};

class HtmlPageSafeSaveTest : public ::testing::Test {
protected:
    HtmlPageSafeSaveTest() {
        page.SetReport(&env.report);
        original = test::CommittedPage("utf8-meta-bom.htm");
        site = env.sandbox.MakeFolder("site");
        path = env.sandbox.Write("site/index.htm", original);
        EXPECT_TRUE(test::Shown(page.LoadPage(path)));
        edited = page.Text();
        edited.insert(edited.find("</body>"), "<video src=\"a.mp4\"></video>\n");
        saved = "\xEF\xBB\xBF" + edited;
    }

    test::Environment env;
    test::CodePagePin pin{"UTF-8"};
    CHtmlPage page;
    std::string original, site, path, edited, saved;
};

TEST_F(HtmlPageSafeSaveTest, PageReplacedByALinkAfterLoadingIsRefusedAndNothingIsWrittenThrough) {
    struct Row {
        const char* fault;
        std::string foreignContent;
        bool folder;
    };
    const Row rows[] = {
        {"a link to a file outside the site with the page's content", original, false},
        {"a link to a file with other content", "<p>elsewhere</p>", false},
        {"a folder", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        fs::remove_all(path);
        env.sandbox.Write("site/index.htm", original);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        fs::remove(path);
        std::string foreign;
        if (row.folder) {
            env.sandbox.MakeFolder("site/index.htm");
        } else {
            foreign = env.sandbox.Write("outside/root-owned.htm", row.foreignContent);
            fs::create_symlink(foreign, path);
        }
        env.box.messages.clear();
        env.box.fallback = IDYES;  // no question may let it through
        EXPECT_FALSE(test::Shown(page.SavePage(edited)));
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONERROR);
        EXPECT_EQ(env.box.messages[0].text, fmt::sprintf(LoadStringRes(IDS_PAGE_REPLACED), path));
        if (!row.folder) {
            EXPECT_EQ(test::ReadFile(foreign), row.foreignContent);
            EXPECT_TRUE(fs::is_symlink(path));
        }
        EXPECT_EQ(FolderListing(site), std::set<std::string>{"index.htm"});
    }
}

TEST_F(HtmlPageSafeSaveTest, LinkPutInThePagesPlaceDuringTheSaveIsPutBackUntouched) {
    const std::string foreign = env.sandbox.Write("outside/root-owned.htm", original);
    const struct stat foreignBefore = Stat(foreign);
    CPageFailingWriter writer(path, {});
    writer.before = [&] {
        fs::remove(path);
        fs::create_symlink(foreign, path);
    };
    page.SetFileWriter(&writer);
    EXPECT_FALSE(test::Shown(page.SavePage(edited)));
    ASSERT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(env.box.messages[0].text, fmt::sprintf(LoadStringRes(IDS_PAGE_REPLACED), path));
    EXPECT_TRUE(fs::is_symlink(path)) << "the link is where it was put";
    EXPECT_EQ(fs::read_symlink(path), foreign);
    EXPECT_EQ(test::ReadFile(foreign), original);
    EXPECT_EQ(Stat(foreign).st_ino, foreignBefore.st_ino);
    EXPECT_EQ(FolderListing(site), std::set<std::string>{"index.htm"});
}

TEST_F(HtmlPageSafeSaveTest, PageChangedByAnotherProgramAndAgreedToIsTheOneReplaced) {
    // An editor saved by rename; the user chose to replace its version. The page replaced is
    // the one now at the name, not the one loaded (which is gone).
    env.sandbox.Write("site/new.tmp", original + "<!-- edited -->");
    fs::rename(site + "/new.tmp", path);
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    env.box.answers = {IDYES};
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    EXPECT_EQ(test::ReadFile(path), saved);
    EXPECT_EQ(Stat(path).st_mode & 07777, 0604u) << "the mode of the file replaced";
    EXPECT_EQ(env.box.messages.size(), 1u);
}

TEST_F(HtmlPageSafeSaveTest, ReplacedPageKeepsOwnerModeAclAndExtendedAttributes) {
    const std::string acl = AclGivingReadTo(12345);
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
        ::setxattr(path.c_str(), "user.origin", "site-tool", 9, 0) != 0) {
        GTEST_SKIP() << "no ACLs or user attributes here: " << GetLastErrorText();
    }
    ASSERT_EQ(::setxattr(path.c_str(), "user.binary", "\0\x01\xFF", 3, 0), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 12345, 23456), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), 02640), 0);
    const struct stat before = Stat(path);
    const std::map<std::string, std::string> attributes = Attributes(path);
    ASSERT_EQ(attributes.size(), 3u);
    ASSERT_TRUE(test::Shown(page.LoadPage(path)));
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    EXPECT_EQ(test::ReadFile(path), saved);
    const struct stat after = Stat(path);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(Attributes(path), attributes);
    EXPECT_EQ(FolderListing(site), std::set<std::string>{"index.htm"});
}

TEST_F(HtmlPageSafeSaveTest, FoldersDefaultAclIsNotGivenToAPageWithoutOne) {
    // A new file in this folder gets an ACL from it; the page had none and gets none.
    std::string acl = AclGivingReadTo(12345);
    if (::setxattr(site.c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "no default ACLs here: " << GetLastErrorText();
    }
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    ASSERT_TRUE(Attributes(path).empty());
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    EXPECT_EQ(test::ReadFile(path), saved);
    EXPECT_TRUE(Attributes(path).empty());
    EXPECT_EQ(Stat(path).st_mode & 07777, 0664u);
}

TEST_F(HtmlPageSafeSaveTest, PageWithSeveralNamesIsWrittenInPlaceAndStaysOneFile) {
    const std::string other = site + "/home.htm";
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    const struct stat before = Stat(path);
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    EXPECT_EQ(test::ReadFile(path), saved);
    EXPECT_EQ(test::ReadFile(other), saved);
    EXPECT_EQ(Stat(path).st_ino, before.st_ino);
    EXPECT_EQ(Stat(path).st_nlink, 2u);
    // Shorter again: the file is cut after the new text.
    ASSERT_TRUE(test::Shown(page.SavePage("<p>short</p>")));
    EXPECT_EQ(test::ReadFile(other), "<p>short</p>");
    // The copy of the old text is gone once the new one is on disk.
    EXPECT_EQ(FolderListing(site), (std::set<std::string>{"home.htm", "index.htm"}));
    EXPECT_TRUE(FolderListing(env.tmp).empty());
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(HtmlPageSafeSaveTest, FailedWriteInPlaceLeavesTheOldTextRecoverable) {
    const std::string other = site + "/home.htm";
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    const std::string text(500, 'n');
    const std::string noSpace = GetErrorText(ENOSPC);
    {
        SCOPED_TRACE("the disk fills up half-way: the old text is written back");
        CPageFailingWriter writer(path, {100});
        page.SetFileWriter(&writer);
        EXPECT_FALSE(test::Shown(page.SavePage(text)));
        EXPECT_EQ(test::ReadFile(path), original);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text,
                  fmt::sprintf(LoadStringRes(IDS_PAGE_SAVE_ERROR), path, noSpace));
        EXPECT_TRUE(FolderListing(env.tmp).empty());
        EXPECT_EQ(FolderListing(site), (std::set<std::string>{"home.htm", "index.htm"}));
    }
    {
        SCOPED_TRACE("not even the old text goes back: the message says where it is");
        env.box.messages.clear();
        CPageFailingWriter writer(path, {100, 0});
        page.SetFileWriter(&writer);
        EXPECT_FALSE(test::Shown(page.SavePage(text)));
        EXPECT_EQ(test::ReadFile(path), std::string(100, 'n') + original.substr(100))
            << "half a page";
        const std::set<std::string> kept = FolderListing(env.tmp);
        ASSERT_EQ(kept.size(), 1u);
        const std::string copy = env.tmp + "/" + *kept.begin();
        EXPECT_EQ(test::ReadFile(copy), original);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONERROR);
        EXPECT_EQ(env.box.messages[0].text,
                  fmt::sprintf(LoadStringRes(IDS_PAGE_SAVE_KEPT_OLD), path, noSpace, copy));
        EXPECT_EQ(Stat(copy).st_mode & 0777, 0600u) << "only for the user's eyes";
        fs::remove(copy);
    }
    {
        SCOPED_TRACE("no copy can be made, in the temporary folder or beside the page");
        env.sandbox.Write("site/index.htm", original);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        env.box.messages.clear();
        CPageFailingWriter writer(path, {}, true);
        page.SetFileWriter(&writer);
        EXPECT_FALSE(test::Shown(page.SavePage(text)));
        EXPECT_EQ(test::ReadFile(path), original);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].text,
                  fmt::sprintf(LoadStringRes(IDS_PAGE_SAVE_ERROR), path, noSpace));
        EXPECT_TRUE(FolderListing(env.tmp).empty());
        EXPECT_EQ(FolderListing(site), (std::set<std::string>{"home.htm", "index.htm"}));
    }
}

}  // namespace

// Data are flushed before each rename, the folder after it: once per folder in a batch.
TEST(PageFolderSync, FoldersAreFlushedAfterTheirRenamesOncePerBatch) {
    struct CRecordingWriter : IFileWriter {
        bool WriteAll(int fd, std::string_view bytes) override {
            return GetDefaultFileWriter().WriteAll(fd, bytes);
        }
        bool Sync(int fd) override {
            struct stat st {};
            synced.push_back(::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? st.st_ino : 0);
            return GetDefaultFileWriter().Sync(fd);
        }
        std::vector<ino_t> synced;  // a folder's inode, 0 for a file
    };
    test::Environment env;
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat(env.sandbox.MakeFolder("a").c_str(), &a), 0);
    ASSERT_EQ(::stat(env.sandbox.MakeFolder("b").c_str(), &b), 0);
    CRecordingWriter writer;
    auto save = [&](const char* page, IFileWriter& through) {
        CPageFile file;
        return file.Open(env.sandbox.Write(page, "old")) && file.ReplaceContents({"new"}, through);
    };
    {
        CFolderSyncBatch batch(writer);
        EXPECT_TRUE(save("a/1.htm", batch) && save("a/2.htm", batch) && save("b/3.htm", batch));
    }
    EXPECT_TRUE(save("a/1.htm", writer));
    EXPECT_EQ(writer.synced, (std::vector<ino_t>{0, 0, 0, a.st_ino, b.st_ino, 0, a.st_ino}));
}
