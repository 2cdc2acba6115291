// SPDX-License-Identifier: GPL-3.0-or-later
// A settings file that does not parse: the programs run on the defaults and what did parse, and
// the file keeps the user's bytes until the wizard quits normally, which writes it anew after
// keeping a copy.
#include <string>

#include <gtest/gtest.h>

#include <QSettings>

#include "app/CPagecastApp.h"
#include "app/CQtSettingsStore.h"
#include "app/QtText.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

// Half a file: a section without its bracket, binary bytes, a value the defaults would change.
constexpr char kCorruptBytes[] =
    "[Options\nSite%20Root=/nowhere/\n\x01\x02\xff\xfe\0\0zz\x80\n[DEDE5%20Varodo]\nCSS=3\n";
const std::string kCorrupt(kCorruptBytes, sizeof kCorruptBytes - 1);

class CorruptSettings : public FaultTest {
protected:
    CorruptSettings() {
        const std::string config = env.home + "/.config";
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, ToQt(config));
        ini = env.sandbox.Write("home/.config/OmbrelTec/Ombrel DEDE5 Varodo.ini", kCorrupt);
    }

    std::string ini;
};

TEST_F(CorruptSettings, PublisherRunsOnTheDefaultsAndLeavesTheFileAsItWas) {
    RunResult r = Publish(Site({SampleMedia("movie.mp4"), "--no-poster", index}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(test::ReadFile(index).find("leanback-player-video"), std::string::npos)
        << "what did parse is used: the player chosen last";
    EXPECT_EQ(test::ReadFile(ini), kCorrupt);
}

TEST_F(CorruptSettings, WizardKeepsTheFileUntilItQuitsNormally) {
    std::string whileRunning;
    int videoPlayer = -1;
    CPagecastApp app(
        [&](const std::string&, int) {
            whileRunning = test::ReadFile(ini);
            videoPlayer = COptions::Instance()->m_nVideoPlayer;
        },
        &env.box);
    app.InitInstance();
    EXPECT_EQ(whileRunning, kCorrupt) << "nothing is written before the wizard quits";
    app.ExitInstance();
    EXPECT_EQ(test::ReadFile(ini + ".corrupt"), kCorrupt);
    const CQtSettingsStore reread(ToQt(ini));
    EXPECT_TRUE(reread.BackupFileName().isEmpty()) << "what was written parses";
    EXPECT_EQ(reread.GetInt("DEDE5 Varodo", "CSS", -1), videoPlayer);
    EXPECT_EQ(reread.GetInt("Options", "Run Times", -1), 1);
}

}  // namespace
}  // namespace faults
