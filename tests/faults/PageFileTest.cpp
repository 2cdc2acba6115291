// SPDX-License-Identifier: GPL-3.0-or-later
// The page as a file, through the built publisher: what is put in its place while the poster is
// taken is never written through, and the page keeps its other names and its encoding.
#include <sys/stat.h>
#include <unistd.h>

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
using namespace std::string_literals;

std::string Utf16le(std::u16string_view text, bool mark) {
    std::string out = mark ? "\xFF\xFE" : "";
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

std::u16string Widen(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

class PageFile : public FaultTest {};

TEST_F(PageFile, PageSwappedForALinkWhileThePosterIsTakenIsRefused) {
    // Another user's file outside the site, with the page's very content, so that no look at
    // the content can tell.
    const std::string foreign = env.sandbox.Write("outside/config.htm", test::ReadFile(index));
    const std::string swap =
        "#!/bin/sh\nln -sf \"$DEDE5_TEST_FOREIGN\" \"$DEDE5_TEST_PAGE\"\n"
        "exec ffmpeg \"$@\" </dev/null\n";
    RunOptions options;
    options.env = {{"DEDE5_VARODO_HOME", FakeInstall(env.sandbox, "install", swap)},
                   {"DEDE5_TEST_PAGE", index},
                   {"DEDE5_TEST_FOREIGN", foreign}};
    options.input = "y\ny\ny\n";
    const std::string before = test::ReadFile(foreign);
    RunResult r =
        Publish(Site({"--poster", "--overwrite", "ask", SampleMedia("movie.mp4"), index}), options);
    EXPECT_TRUE(fs::is_symlink(index)) << "the stand-in did its part";
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find(fmt::sprintf(LoadStringRes(IDS_PAGE_REPLACED), index)), std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFile(foreign), before) << "nothing written through the link";
    EXPECT_EQ(fs::read_symlink(index), foreign);
    EXPECT_FALSE(PathExists(site + "/medias/movie.mp4")) << "nothing copied for a page not saved";
}

TEST_F(PageFile, PageWithTwoNamesStaysOneFile) {
    const std::string other = site + "/home.htm";
    ASSERT_EQ(::link(index.c_str(), other.c_str()), 0);
    RunResult r = Publish(Site({SampleMedia("song.mp3"), index}));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string published = test::ReadFile(index);
    EXPECT_NE(published.find("<source src=\"medias/song.mp3\""), std::string::npos);
    EXPECT_EQ(test::ReadFile(other), published);
    struct stat st {};
    ASSERT_EQ(::stat(index.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(Listing(env.tmp), "") << "no copy of the old text left behind";
}

TEST_F(PageFile, Utf16PagesArePublishedInUtf16) {
    const std::string markup = test::ReadFile(index);
    const std::string marked = env.sandbox.Write("site/marked.htm", Utf16le(Widen(markup), true));
    std::string declared = markup;
    declared.insert(declared.find("<title>"),
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-16\">\n");
    const std::string bare = env.sandbox.Write("site/bare.htm", Utf16le(Widen(declared), false));
    RunResult r = Publish(Site({SampleMedia("song.mp3"), marked, bare}));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string source = "<source src=\"medias/song.mp3\"";
    const std::string markedAfter = test::ReadFile(marked);
    EXPECT_TRUE(markedAfter.starts_with("\xFF\xFE<\0h\0t\0m\0l\0"s)) << "its mark and UTF-16";
    EXPECT_NE(markedAfter.find(Utf16le(Widen(source), false)), std::string::npos);
    const std::string bareAfter = test::ReadFile(bare);
    EXPECT_TRUE(bareAfter.starts_with("<\0h\0t\0m\0l\0"s)) << "UTF-16 without a mark";
    EXPECT_NE(bareAfter.find(Utf16le(Widen(source), false)), std::string::npos);
    EXPECT_EQ(bareAfter.size() % 2, 0u);
}

}  // namespace
}  // namespace faults
