// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CPagecastApp.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QSettings>

#include "app/CQtSettingsStore.h"
#include "app/QtText.h"
#include "core/Log.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/Sandbox.h"

namespace {

std::vector<std::string> LogFiles(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.starts_with(LoadStringRes(IDS_APP_TITLE)) && name.ends_with(".LOG")) {
                files.push_back(folder + "/" + name);
            }
        }
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Where each line occurs in the log text; npos when it is missing.
std::vector<size_t> Positions(const std::string& log, const std::vector<std::string>& lines) {
    std::vector<size_t> positions;
    for (const std::string& line : lines) {
        positions.push_back(log.find(line));
    }
    return positions;
}

class PagecastAppTest : public ::testing::Test {
protected:
    PagecastAppTest() {
        const std::string config = env.home + "/.config";
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, ToQt(config));
        iniPath = config + "/OmbrelTec/Ombrel DEDE5 Varodo.ini";
        // Empty settings but for the log switch, so the run leaves a log to read.
        CQtSettingsStore store;
        store.WriteInt("Options/General", "Enable Logging", 1);
    }

    test::Environment env;
    test::RecordingShell shell;
    std::string iniPath;
};

TEST_F(PagecastAppTest, TwoRunsCountTwoAndLogTheCounterAsLoaded) {
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        struct {
            int calls = 0;
            std::string caption;
            int mode = 0;
            bool loaded = false;
            bool ownBoxAndShell = false;
            std::string workFolder, logPath;
        } seen;
        CPagecastApp app(
            [&](const std::string& caption, int mode) {
                ++seen.calls;
                seen.caption = caption;
                seen.mode = mode;
                seen.loaded = COptions::Instance()->m_bLoaded == 1;
                seen.ownBoxAndShell = &GetMessageBox() == &env.box && &GetShell() == &shell;
                seen.logPath = CLog::Instance()->GetFilePath();
                // The wizard leaves temporary files behind; exit removes them.
                seen.workFolder = COptions::Instance()->m_strWorkFolder;
                CreateFolders(seen.workFolder + "/poster");
                std::FILE* f = std::fopen((seen.workFolder + "/poster/a.jpg").c_str(), "w");
                std::fclose(f);
            },
            &env.box, &shell);
        EXPECT_TRUE(app.InitInstance());
        EXPECT_EQ(app.ExitInstance(), 0);

        EXPECT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.caption, "Publish");
        EXPECT_EQ(seen.mode, CPagecastApp::kModePublishToPage);
        EXPECT_TRUE(seen.loaded);
        EXPECT_TRUE(seen.ownBoxAndShell);
        EXPECT_FALSE(seen.workFolder.empty());
        EXPECT_FALSE(PathExists(seen.workFolder));
        // Nothing of the run is left installed.
        EXPECT_NE(&GetMessageBox(), &env.box);
        EXPECT_NE(&GetShell(), &shell);

        const std::vector<std::string> logs = LogFiles(env.tmp);
        ASSERT_EQ(logs.size(), static_cast<size_t>(run + 1));
        EXPECT_EQ(logs.back(), seen.logPath);
        const std::string log = test::ReadFile(logs.back());
        const auto at =
            Positions(log, {
                               "COptions::Instance()->LoadState().\r\n",
                               "GetNumberOfProcesseors()=",
                               "CPagecastApp::InitInstance() Out.\r\n",
                               "CPagecastApp::ExitInstance() " + std::to_string(run) + ".\r\n",
                               "COptions::SaveState().\r\n",
                           });
        for (size_t i = 0; i < at.size(); ++i) {
            ASSERT_NE(at[i], std::string::npos) << "line " << i << " missing:\n" << log;
            if (i > 0) {
                EXPECT_LT(at[i - 1], at[i]) << "line " << i << " out of order:\n" << log;
            }
        }
    }
    const CQtSettingsStore store;
    EXPECT_EQ(store.GetInt("Options", "Run Times", -1), 2);
    EXPECT_EQ(store.GetInt("Options/General", "Enable Logging", -1), 1);
}

TEST_F(PagecastAppTest, GivenStoreIsUsedInsteadOfTheUsersFile) {
    auto store = std::make_shared<CMemorySettingsStore>();
    CPagecastApp app([](const std::string&, int) {}, nullptr, nullptr, store);
    app.InitInstance();
    app.ExitInstance();
    EXPECT_EQ(store->GetInt("Options", "Run Times", -1), 1);
    const CQtSettingsStore file;
    EXPECT_EQ(file.GetInt("Options", "Run Times", -1), -1);
}

}  // namespace
