// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Options.h"

#include <iterator>
#include <map>
#include <string>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/Folders.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

COptions* Load() {
    COptions* o = COptions::Instance();
    o->LoadState();
    return o;
}

// Every field of the table as text, by section and value name.
std::map<std::string, std::string> Values(const COptions& o) {
    std::map<std::string, std::string> values;
    for (const SettingRow& row : COptions::SettingRows()) {
        const std::string key = std::string(row.section) + "|" + row.name;
        switch (row.type) {
            case SettingType::Int:
            case SettingType::Flag:
            case SettingType::Counter:
                values[key] = std::to_string(o.*row.pInt);
                break;
            case SettingType::Text:
            case SettingType::Folder:
                values[key] = o.*row.pText;
                break;
            case SettingType::Texts:
                for (size_t i = 0; i < std::size(o.*row.pTexts); ++i) {
                    values[fmt::sprintf(key, i)] = (o.*row.pTexts)[i];
                }
                break;
        }
    }
    return values;
}

TEST(Options, DefaultsWithAnEmptyStore) {
    test::Environment env;
    COptions* o = Load();
    EXPECT_EQ(o->m_bLoaded, 1);
    EXPECT_EQ(o->m_strMediaFolderName, "medias");
    EXPECT_EQ(o->m_bVideoPoster, 1);
    EXPECT_EQ(o->m_bVideoControl, 1);
    EXPECT_EQ(o->m_bAutoPlay, 0);
    EXPECT_EQ(o->m_bVideoLoop, 0);
    EXPECT_EQ(o->m_nVideoPlayer, 0);
    EXPECT_EQ(o->m_nAfterPublishActions, 1);
    EXPECT_EQ(o->m_nFramesConvert, 100);
    EXPECT_EQ(o->m_nEncodingThreads, COptions::ProcessorCount());
    EXPECT_TRUE(o->m_strSiteRoot.empty());
    // No videos folder in the fresh home: the documents folder is the fallback.
    EXPECT_EQ(o->m_strDefaultFolder, env.home + "/Documents/Ombrel DEDE5 Varodo/");
    EXPECT_EQ(o->m_strTempFolder, o->m_strDefaultFolder);
    EXPECT_FALSE(PathExists(o->m_strTempFolder)) << "the default folder is not made at load";
    EXPECT_EQ(o->m_strWorkFolder, env.home + "/.local/share/OmbrelTec/Ombrel DEDE5 Varodo/Tempory");
    EXPECT_TRUE(o->m_strOutputFolder.ends_with("/"));
}

TEST(Options, FitPlayerIsOnUnlessStoredOff) {
    {
        test::Environment env;
        COptions* o = Load();
        EXPECT_EQ(o->m_bFitPlayer, 1);
        o->m_bFitPlayer = 0;
        o->SaveState();
        EXPECT_EQ(env.store->GetInt("Options", "Fit Player", -1), 0);
        COptions::DestroyInstance();
        EXPECT_EQ(Load()->m_bFitPlayer, 0) << "a stored 0 stays off";
    }
    test::Environment env;
    env.store->WriteInt("Options", "Fit Player", 1);
    EXPECT_EQ(Load()->m_bFitPlayer, 1);
}

TEST(Options, VideosFolderIsPreferredWhenItExists) {
    test::Environment env;
    env.sandbox.MakeFolder("home/Videos");
    EXPECT_EQ(Load()->m_strDefaultFolder, env.home + "/Videos/Ombrel DEDE5 Varodo/");
}

TEST(Options, PlayerIndexesAreClamped) {
    struct Row {
        int css, audio, expectCss;
    } rows[] = {{7, 1, 0}, {-1, -3, 0}, {4, 0, 4}, {2, 5, 2}};
    for (const auto& row : rows) {
        test::Environment env;
        env.store->WriteInt("DEDE5 Varodo", "CSS", row.css);
        env.store->WriteInt("DEDE5 Varodo", "Audio Player", row.audio);
        COptions* o = Load();
        EXPECT_EQ(o->m_nVideoPlayer, row.expectCss) << row.css;
        EXPECT_EQ(o->m_nAudioPlayer, 0) << row.audio;
    }
}

TEST(Options, EncodingThreadsAreClampedToTheProcessors) {
    const int cpus = COptions::ProcessorCount();
    struct Row {
        int stored, expected;
    } rows[] = {{0, 1}, {64, cpus}, {-1, cpus}, {1, 1}};
    for (const auto& row : rows) {
        test::Environment env;
        env.store->WriteInt("Options", "Encoding Threads", row.stored);
        EXPECT_EQ(Load()->m_nEncodingThreads, row.expected) << row.stored;
    }
}

TEST(Options, TempFolderIsCheckedAndCreated) {
    test::Environment env;
    const std::string wanted = env.sandbox / "made/at/load";
    env.store->WriteString("Options", "Temp Folder", wanted);
    EXPECT_EQ(Load()->m_strTempFolder, wanted + "/");
    EXPECT_TRUE(IsFolder(wanted));

    // Relative, below a plain file (uncreatable), or with an empty component: the default.
    for (const char* bad : {"relative/tmp", "FILE/sub", "SANDBOX//double"}) {
        test::Environment inner;
        inner.sandbox.Write("file.txt", "x");
        std::string value = bad;
        if (value.starts_with("FILE")) {
            value = inner.sandbox / "file.txt" + value.substr(4);
        } else if (value.starts_with("SANDBOX")) {
            value = inner.sandbox.path() + "/" + value.substr(7);
        }
        inner.store->WriteString("Options", "Temp Folder", value);
        COptions* o = Load();
        EXPECT_EQ(o->m_strTempFolder, o->m_strDefaultFolder) << value;
    }
}

TEST(Options, SaveBeforeLoadWritesNothing) {
    test::Environment env;
    COptions::Instance()->m_strSiteRoot = "/d/site/";
    COptions::Instance()->SaveState();
    EXPECT_EQ(env.store->Size(), 0u);
}

TEST(Options, EveryValueRoundTripsAndRunTimesCounts) {
    test::Environment env;
    env.store->WriteInt("Options/General", "Enable Logging", 1);
    std::string exitLines;
    for (int run = 0; run < 2; ++run) {
        COptions* o = Load();
        CLog::Instance()->Write("CPagecastApp::ExitInstance() %d.\r\n", o->m_nRunTimes);
        if (run == 0) {
            o->m_strSiteRoot = "/d/site/";
            o->m_strJsPath = "/js/";
            o->m_strMediaPath = "/";
            o->m_nVideoPlayer = 3;
            o->m_bAutoPlay = 1;
            o->m_bCombineNotify = 9;
            o->m_nAfterPublishActions = 2;
            o->m_strHistory[4] = "last";
        }
        o->SaveState();
        exitLines += test::ReadFile(CLog::Instance()->GetFilePath());
        COptions::DestroyInstance();
        CLog::DestroyInstance();
    }
    EXPECT_EQ(env.store->GetInt("Options", "Run Times", 0), 2);
    EXPECT_NE(exitLines.find("ExitInstance() 0.\r\n"), std::string::npos);
    EXPECT_NE(exitLines.find("ExitInstance() 1.\r\n"), std::string::npos);
    EXPECT_NE(exitLines.find("COptions::SaveState().\r\n"), std::string::npos);

    COptions* o = Load();
    EXPECT_EQ(o->m_strSiteRoot, "/d/site/");
    EXPECT_EQ(o->m_strJsPath, "/js/");
    EXPECT_EQ(o->m_strMediaPath, "/");
    EXPECT_EQ(o->m_nVideoPlayer, 3);
    EXPECT_EQ(o->m_bAutoPlay, 1);
    EXPECT_EQ(o->m_bCombineNotify, 1) << "saved as 0 or 1";
    EXPECT_EQ(o->m_strHistory[4], "last");
    EXPECT_EQ(env.store->GetInt("Options ", "After Publish Actions", 0), 2)
        << "the section name keeps its trailing blank";
    EXPECT_FALSE(env.store->Has("Options", "After Publish Actions"));
}

TEST(Options, EveryRowKeepsAValueOtherThanItsDefault) {
    test::Environment env;
    COptions* o = Load();
    const auto defaults = Values(*o);
    int n = 0;
    for (const SettingRow& row : COptions::SettingRows()) {
        const std::string unique = std::to_string(++n);
        switch (row.type) {
            case SettingType::Int:
                if (row.clamp == SettingClamp::ToDefault) {
                    // "Audio Player" allows its default only.
                    o->*row.pInt = o->*row.pInt == row.max ? row.min : row.max;
                } else if (row.clamp == SettingClamp::UpToDefault) {
                    o->*row.pInt = row.min;
                } else {
                    o->*row.pInt = 1000 + n;
                }
                break;
            case SettingType::Flag:
                o->*row.pInt = o->*row.pInt ? 0 : 1;
                break;
            case SettingType::Counter:
                o->*row.pInt = 1000 + n;
                break;
            case SettingType::Text:
                o->*row.pText = "text " + unique;
                break;
            case SettingType::Folder:
                // Made at load if it is the temporary folder.
                o->*row.pText = env.sandbox / ("folder " + unique) + "/";
                break;
            case SettingType::Texts:
                for (size_t i = 0; i < std::size(o->*row.pTexts); ++i) {
                    (o->*row.pTexts)[i] = "text " + unique + "." + std::to_string(i);
                }
                break;
        }
    }
    const auto chosen = Values(*o);
    o->SaveState();
    const auto saved = Values(*o);
    COptions::DestroyInstance();

    const auto loaded = Values(*Load());
    EXPECT_EQ(loaded, saved);
    size_t changed = 0;
    for (const auto& [key, value] : chosen) {
        changed += value != defaults.at(key) && loaded.at(key) != defaults.at(key);
    }
    // Only "Audio Player" has no other value, and "Encoding Threads" none on one processor.
    EXPECT_GE(changed, chosen.size() - 2);
}

TEST(Options, SaveDeletesTheWorkFolder) {
    test::Environment env;
    COptions* o = Load();
    CreateFolders(o->m_strWorkFolder + "/nested");
    env.sandbox.Write("home/.local/share/OmbrelTec/Ombrel DEDE5 Varodo/Tempory/nested/x.htm", "x");
    o->SaveState();
    EXPECT_FALSE(PathExists(o->m_strWorkFolder));
    EXPECT_TRUE(IsFolder(GetPathFolder(o->m_strWorkFolder))) << "only the work folder goes";
}

}  // namespace
