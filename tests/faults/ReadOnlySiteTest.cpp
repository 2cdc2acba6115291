// SPDX-License-Identifier: GPL-3.0-or-later
// A site the publisher may not write. Permission bits do not stop root, so a test running as
// root runs the publisher as an ordinary user (nobody), for whom the root-owned site is
// read-only; as any other user the site's write permissions are taken away.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

class ReadOnlySite : public FaultTest {
protected:
    ReadOnlySite() {
        // The media the ordinary user reads lies in the sandbox too.
        RunAsUnprivileged(env.sandbox, options);
        song = env.sandbox.Write("media/song.mp3", test::ReadFile(SampleMedia("song.mp3")));
    }
    ~ReadOnlySite() override {
        // Writable again, so that the sandbox can be removed by an ordinary user too.
        for (const auto& entry : fs::recursive_directory_iterator(site)) {
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
        }
        fs::permissions(site, fs::perms::owner_write, fs::perm_options::add);
    }

    // What the publisher's user may not write: for root that is already so.
    void TakeWriteAway(const std::string& path) {
        if (::geteuid() != 0) {
            fs::permissions(
                path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        }
    }
    // What the publisher's user may write.
    void GiveWrite(const std::string& path) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(path.c_str(), UnprivilegedUid(), UnprivilegedGid()), 0);
        } else {
            fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
        }
    }

    std::string song;
    RunOptions options;
};

TEST_F(ReadOnlySite, PageThatCannotBeWrittenIsRefusedUntouched) {
    TakeWriteAway(index);
    TakeWriteAway(site);
    const std::string original = test::ReadFile(index);
    const std::string before = Listing(site);
    RunResult r = Publish(Site({song, index}), options);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(
        r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_NOT_WRITABLE), index, "Permission denied")),
        std::string::npos)
        << "a page that can be read is not said to be unreadable: " << r.err;
    EXPECT_EQ(test::ReadFile(index), original);
    EXPECT_EQ(Listing(site), before);
}

TEST_F(ReadOnlySite, PageThatCannotBeReadSaysSo) {
    const std::string secret = env.sandbox.Write("site/secret.htm", kPage);
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    RunResult r = Publish(Site({song, secret}), options);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(
        r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_READ_ERROR), secret, "Permission denied")),
        std::string::npos)
        << r.err;
    ::chmod(secret.c_str(), 0644);
    EXPECT_EQ(test::ReadFile(secret), kPage);
}

TEST_F(ReadOnlySite, WritablePageInAFolderThatIsNotIsWrittenInPlace) {
    // No new file can be made beside the page to replace it, so the page itself is written, its
    // old text kept in the user's temporary folder until the new one is on disk.
    const std::string page = env.sandbox.Write("site/news/a.htm", kPage);
    GiveWrite(page);
    GiveWrite(site);
    TakeWriteAway(site + "/news");
    struct stat before {};
    ASSERT_EQ(::stat(page.c_str(), &before), 0);
    RunResult r = Publish(Site({song, page}), options);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string published = test::ReadFile(page);
    EXPECT_NE(published.find("<source src=\"../medias/song.mp3\""), std::string::npos) << published;
    struct stat after {};
    ASSERT_EQ(::stat(page.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the same file";
    EXPECT_EQ(Listing(site + "/news"), fmt::sprintf("a.htm %d\n", published.size()));
    EXPECT_EQ(Listing(env.sandbox / "user/tmp"), "") << "no copy of the old text left behind";
}

// An ACL in the kernel's form giving `uid` read and write: owner rw, that user rw, owning group
// r, mask rw, others r (mode 0664).
std::string AclGivingWriteTo(uint32_t uid) {
    std::string acl;
    const auto put = [&](uint32_t value, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            acl.push_back(static_cast<char>(value >> (8 * i)));
        }
    };
    put(2, 4);
    const uint32_t none = 0xFFFFFFFF;
    const uint32_t entries[][3] = {
        {0x01, 6, none}, {0x02, 6, uid}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 4, none}};
    for (const auto& entry : entries) {
        put(entry[0], 2);
        put(entry[1], 2);
        put(entry[2], 4);
    }
    return acl;
}

TEST_F(ReadOnlySite, PageOfAnotherOwnerKeepsOwnerAclAndAttributes) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a page of another owner needs a second user: run as root";
    }
    // Root's page, which an ACL lets the publishing user write, in a folder that user may
    // write: a new file there would be the publishing user's and lose the ACL.
    GiveWrite(site);
    const std::string acl = AclGivingWriteTo(UnprivilegedUid());
    if (::setxattr(index.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
        ::setxattr(index.c_str(), "user.origin", "site-tool", 9, 0) != 0) {
        GTEST_SKIP() << "no ACLs or user attributes here: " << GetLastErrorText();
    }
    struct stat before {};
    ASSERT_EQ(::stat(index.c_str(), &before), 0);
    ASSERT_EQ(before.st_uid, 0u);
    RunResult r = Publish(Site({song, index}), options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(test::ReadFile(index).find("<source src=\"medias/song.mp3\""), std::string::npos);
    struct stat after {};
    ASSERT_EQ(::stat(index.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    char value[256];
    const ssize_t size = ::getxattr(index.c_str(), "system.posix_acl_access", value, sizeof value);
    EXPECT_EQ(std::string(value, static_cast<size_t>(std::max<ssize_t>(size, 0))), acl);
    EXPECT_EQ(::getxattr(index.c_str(), "user.origin", value, sizeof value), 9);
    EXPECT_EQ(Listing(env.sandbox / "user/tmp"), "");
}

TEST_F(ReadOnlySite, SiteFoldersThatCannotBeMadeStopThePublishWithAMessage) {
    // The page's own folder is writable, the site root where the player and media folders
    // belong is not.
    const std::string page = env.sandbox.Write("site/news/a.htm", kPage);
    GiveWrite(page);
    GiveWrite(site + "/news");
    TakeWriteAway(site);
    RunResult r = Publish(Site({song, page}), options);
    EXPECT_EQ(r.status, 4) << "never reported as published: " << r.err;
    EXPECT_NE(r.err.find(site + "/js/"), std::string::npos) << r.err;
    EXPECT_FALSE(PathExists(site + "/js"));
    EXPECT_FALSE(PathExists(site + "/medias"));
}

}  // namespace
}  // namespace faults
