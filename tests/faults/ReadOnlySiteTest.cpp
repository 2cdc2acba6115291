// SPDX-License-Identifier: GPL-3.0-or-later
// A site the publisher may not write. Permission bits do not stop root, so a test running as
// root runs the publisher as an ordinary user (nobody), for whom the root-owned site is
// read-only; as any other user the site's write permissions are taken away.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

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
        // The ordinary user must reach the sandbox and have a home and temporary folder of its
        // own; the media it reads and the program it runs lie in the sandbox too.
        ::chmod(env.sandbox.path().c_str(), 0755);
        options.program = CopyInstall(env.sandbox, "install");
        song = env.sandbox.Write("media/song.mp3", test::ReadFile(SampleMedia("song.mp3")));
        const std::string home = env.sandbox.MakeFolder("user/home");
        const std::string tmp = env.sandbox.MakeFolder("user/tmp");
        for (const std::string& folder : {env.sandbox / "user", home, tmp}) {
            ::chmod(folder.c_str(), 0777);
        }
        options.unprivileged = true;
        options.env = {{"HOME", home},
                       {"TMPDIR", tmp},
                       {"XDG_CONFIG_HOME", home + "/.config"},
                       {"XDG_DATA_HOME", home + "/.local/share"}};
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

TEST_F(ReadOnlySite, WritablePageInAFolderThatIsNotIsNotWrittenInPlace) {
    // The page is replaced by a new file beside it, which this folder does not allow; writing
    // over the page itself could leave half a page behind.
    GiveWrite(index);
    TakeWriteAway(site);
    const std::string original = test::ReadFile(index);
    const std::string before = Listing(site);
    RunResult r = Publish(Site({song, index}), options);
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(
        r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_SAVE_ERROR), index, "Permission denied")),
        std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFile(index), original);
    EXPECT_EQ(Listing(site), before);
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
