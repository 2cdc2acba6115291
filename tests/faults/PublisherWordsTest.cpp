// SPDX-License-Identifier: GPL-3.0-or-later
// What the publisher says must fit what happened, and what it does that people would not expect
// must be told before it happens.
#include <string>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

class PublisherWords : public FaultTest {};

TEST_F(PublisherWords, ASettingsPathThatIsAFolderIsCalledAFolder) {
    const std::string folder = env.sandbox.MakeFolder("settings.ini");
    const RunResult r =
        Publish(Site({"--settings", folder, "--no-poster", SampleMedia("song.mp3"), index}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("'" + folder + "' is a folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("does not exist"), std::string::npos) << r.err;

    const RunResult missing = Publish(
        Site({"--settings", folder + "/none.ini", "--no-poster", SampleMedia("song.mp3"), index}));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

TEST_F(PublisherWords, TheRemovalOfTheOldMenuScriptsIsToldAndDone) {
    const RunResult help = Publish({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* said : {"removes", "menu", "kvmenu.js"}) {
        EXPECT_NE(help.out.find(said), std::string::npos) << said << " in:\n" << help.out;
    }
    const std::string manual = test::ReadFile(DEDE5_MAN_PAGE);
    EXPECT_NE(manual.find("removes from each page the script blocks of the old DHTML menu"),
              std::string::npos);

    const std::string page =
        env.sandbox.Write("site/menu.htm",
                          "<html><head><script "
                          "src=\"kvmenu.js\"></script>\n</head><body>\n<p>x</p>\n</body></html>\n");
    const RunResult r = Publish(Site({"--no-poster", SampleMedia("song.mp3"), page}));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string published = test::ReadFile(page);
    EXPECT_EQ(published.find("kvmenu.js"), std::string::npos) << published;
    EXPECT_NE(published.find("<audio"), std::string::npos) << published;
}

TEST_F(PublisherWords, TheManPageNamesTheStatusOfAPageChangedMeanwhile) {
    const std::string manual = test::ReadFile(DEDE5_MAN_PAGE);
    const size_t four = manual.find(".B 4\n");
    ASSERT_NE(four, std::string::npos);
    const std::string entry = manual.substr(four, manual.find(".TP", four) - four);
    EXPECT_NE(entry.find("changed by another program"), std::string::npos) << entry;
}

}  // namespace
}  // namespace faults
