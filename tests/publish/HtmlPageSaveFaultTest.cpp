// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "publish/CHtmlPage.h"
#include "core/StringTable.h"
#include "tests/publish/PageTestSupport.h"

namespace {

// A disk that fills up after `limit` bytes, or whose flush fails.
class CFailingWriter : public IFileWriter {
public:
    explicit CFailingWriter(size_t limit, bool failSync = false)
        : m_nLimit(limit), m_bFailSync(failSync) {}
    bool WriteAll(int fd, std::string_view bytes) override {
        const size_t n = std::min(bytes.size(), m_nLimit);
        if (!GetDefaultFileWriter().WriteAll(fd, bytes.substr(0, n))) {
            return false;
        }
        if (n < bytes.size()) {
            errno = ENOSPC;
            return false;
        }
        return true;
    }
    bool Sync(int fd) override {
        if (m_bFailSync) {
            errno = EIO;
            return false;
        }
        return GetDefaultFileWriter().Sync(fd);
    }

private:
    size_t m_nLimit;
    bool m_bFailSync;
};

std::set<std::string> FolderListing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class HtmlPageSaveFaultTest : public ::testing::Test {
protected:
    HtmlPageSaveFaultTest() {
        page.SetReport(&env.report);
        original = test::CommittedPage("utf8-meta-bom.htm");
        path = env.sandbox.Write("site/index.htm", original);
        EXPECT_TRUE(test::Shown(page.LoadPage(path)));
        edited = page.Text();
        edited.insert(edited.find("</body>"), "<video src=\"a.mp4\"></video>\n");
    }

    test::Environment env;
    test::CodePagePin pin{"UTF-8"};
    CHtmlPage page;
    std::string original, path, edited;
};

TEST_F(HtmlPageSaveFaultTest, SaveThatFailsHalfWayLeavesThePageAsItWas) {
    struct Row {
        const char* fault;
        CFailingWriter writer;
        const char* errorText;
    };
    Row rows[] = {
        {"disk full after 100 bytes", CFailingWriter(100), "No space left on device"},
        {"disk full before the first byte", CFailingWriter(0), "No space left on device"},
        {"flush fails", CFailingWriter(SIZE_MAX, true), "Input/output error"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.fault);
        env.box.messages.clear();
        page.SetFileWriter(&row.writer);
        EXPECT_FALSE(test::Shown(page.SavePage(edited)));
        EXPECT_EQ(test::ReadFile(path), original);
        EXPECT_EQ(FolderListing(env.sandbox / "site"), std::set<std::string>{"index.htm"});
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_OK | MB_ICONERROR);
        EXPECT_NE(env.box.messages[0].text.find(row.errorText), std::string::npos);
        EXPECT_NE(env.box.messages[0].text.find(path), std::string::npos);
    }
    // The held page is still usable: once the disk has room the same save works.
    page.SetFileWriter(nullptr);
    env.box.messages.clear();
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    EXPECT_NE(test::ReadFile(path).find("<video src=\"a.mp4\"></video>\n</body>"),
              std::string::npos);
    EXPECT_TRUE(env.box.messages.empty());
}

TEST_F(HtmlPageSaveFaultTest, PageChangedByAnotherProgramIsNotOverwrittenWithoutAQuestion) {
    const std::string other = "<p>written by another program</p>";
    {
        SCOPED_TRACE("No (the default) keeps the other program's version");
        env.sandbox.Write("site/index.htm", other);
        env.box.fallback = IDNO;
        EXPECT_FALSE(test::Shown(page.SavePage(edited)));
        EXPECT_EQ(test::ReadFile(path), other);
        ASSERT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(env.box.messages[0].type, MB_YESNO | MB_ICONWARNING);
        EXPECT_NE(env.box.messages[0].text.find(path), std::string::npos);
    }
    {
        SCOPED_TRACE("Yes replaces it; the next save asks nothing");
        env.box.messages.clear();
        env.box.answers = {IDYES};
        ASSERT_TRUE(test::Shown(page.SavePage(edited)));
        EXPECT_EQ(env.box.messages.size(), 1u);
        EXPECT_EQ(test::ReadFile(path), "\xEF\xBB\xBF" + edited);
        ASSERT_TRUE(test::Shown(page.SavePage(edited + "\n")));
        EXPECT_EQ(env.box.messages.size(), 1u);
    }
}

TEST_F(HtmlPageSaveFaultTest, EveryKindOfOutsideChangeIsNoticed) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    struct Row {
        const char* fault;
        std::function<void()> change;
    };
    const Row rows[] = {
        {"same size and time, other bytes",
         [&] {
             std::string same = original;
             same[same.size() - 2] = 'X';
             env.sandbox.Write("site/index.htm", same);
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, path.c_str(), times, 0);
         }},
        {"replaced by rename, as editors save",
         [&] {
             env.sandbox.Write("site/new.tmp", original + "<!-- -->");
             std::filesystem::rename(env.sandbox / "site/new.tmp", path);
         }},
        {"deleted", [&] { std::filesystem::remove(path); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        env.sandbox.Write("site/index.htm", original);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        row.change();
        env.box.messages.clear();
        env.box.fallback = IDNO;
        EXPECT_FALSE(test::Shown(page.SavePage(edited)));
        EXPECT_EQ(env.box.messages.size(), 1u);
    }
    {
        SCOPED_TRACE("only touched: the content decides, nothing asked");
        env.sandbox.Write("site/index.htm", original);
        ASSERT_TRUE(test::Shown(page.LoadPage(path)));
        env.sandbox.Write("site/index.htm", original);
        env.box.messages.clear();
        EXPECT_TRUE(test::Shown(page.SavePage(edited)));
        EXPECT_TRUE(env.box.messages.empty());
    }
}

TEST_F(HtmlPageSaveFaultTest, ReplacedPageKeepsItsModeAndItsLink) {
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A page reached through a symbolic link: the link stays, its target gets the content.
    const std::string target = env.sandbox.Write("real/page.htm", original);
    const std::string link = env.sandbox / "site/linked.htm";
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(test::Shown(page.LoadPage(link)));
    ASSERT_TRUE(test::Shown(page.SavePage(edited)));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadFile(target), "\xEF\xBB\xBF" + edited);
    EXPECT_EQ(FolderListing(env.sandbox / "real"), std::set<std::string>{"page.htm"});
}

TEST_F(HtmlPageSaveFaultTest, SaveWithoutALoadedPageFailsWithAMessage) {
    page.Close();
    EXPECT_FALSE(test::Shown(page.SavePage(edited)));
    EXPECT_EQ(env.box.messages.size(), 1u);
    EXPECT_EQ(test::ReadFile(path), original);
}

}  // namespace
