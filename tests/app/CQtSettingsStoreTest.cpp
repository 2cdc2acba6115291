// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CQtSettingsStore.h"

#include <fstream>
#include <memory>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

// Each test has its own configuration folder, standing in for ~/.config.
class SettingsFileTest : public ::testing::Test {
protected:
    SettingsFileTest() {
        config = env.home + "/.config";
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        // QSettings takes the folder from the environment only once per process.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, ToQt(config));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, ToQt(config));
        iniPath = config + "/OmbrelTec/Ombrel DEDE5 Varodo.ini";
    }

    void WriteIni(const std::string& bytes, const std::string& suffix = "") {
        CreateFolders(GetPathFolder(iniPath));
        std::ofstream out(iniPath + suffix, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // A copy has no cached state in this process, so reading it really parses the file.
    std::string FreshCopy() {
        const std::string copy = env.sandbox / ("copy" + std::to_string(++copies) + ".ini");
        EXPECT_TRUE(QFile::copy(ToQt(iniPath), ToQt(copy)));
        return copy;
    }

    test::Environment env;
    std::string config, iniPath;
    int copies = 0;
};

TEST_F(SettingsFileTest, LivesUnderTheUsersConfigFolder) {
    CQtSettingsStore store;
    store.WriteInt("Options", "Run Times", 1);
    store.Flush();
    EXPECT_EQ(FromQt(store.FileName()), iniPath);
    EXPECT_TRUE(IsRegularFile(iniPath));
    EXPECT_FALSE(store.IsReadOnly());
}

TEST_F(SettingsFileTest, EveryOptionRoundTripsThroughTheFile) {
    const std::string temp = env.sandbox.MakeFolder("temp folder");
    {
        auto store = std::make_shared<CQtSettingsStore>();
        SetSettingsStore(store);
        COptions* o = COptions::Instance();
        o->LoadState();
        for (int i = 0; i < 5; ++i) {
            o->m_strHistory[i] = "clip " + std::to_string(i) + ".swf";
        }
        o->m_strOutputFolder = "/srv/out put/";
        o->m_strTempFolder = temp + "/";
        o->m_nOutputFolderFormat = 2;
        o->m_nEncodingThreads = 1;
        o->m_bPromptCancelProfiles = 0;
        o->m_nFinishFormat = 3;
        o->m_nFramesConvert = 250;
        o->m_bAudioRepeated = 1;
        o->m_nBitDepth = 2;
        o->m_nSnapshotImageFormat = 1;
        o->m_strLastOpenFolder = " /srv/a b;c,d#e%f\"g'h\\i=j [k] \xC3\xA4 ";
        o->m_bMp4Prompt = 0;
        o->m_bWebmPrompt = 0;
        o->m_bOggPrompt = 0;
        o->m_nRunTimes = 41;
        o->m_nVideoPlayer = 3;
        o->m_bVideoControl = 0;
        o->m_bAutoPlay = 1;
        o->m_bVideoPoster = 0;
        o->m_bVideoLoop = 1;
        o->m_bAudioAutoPlay = 1;
        o->m_bCombineNotify = 5;
        o->m_bPromptNotSelectAD = 0;
        o->m_bPromptAutoPlayNextFrame = 0;
        o->m_bAutoPlayNextFrame = 1;
        o->m_bDeleteVideosAfterPublish = 1;
        o->m_strMediaFolderName = "clips";
        o->m_nPublishActions = 2;
        o->m_nAfterPublishActions = 2;
        o->m_bShowAfterPublished = 0;
        o->m_strSiteRoot = "/srv/my site/";
        o->m_strJsPath = "/js/";
        o->m_strMediaPath = "/media files/";
        o->m_bUsedForCapture = 1;
        o->m_bCaptureOpenFolder = 0;
        o->SaveState();
        COptions::DestroyInstance();
        SetSettingsStore(nullptr);
    }
    SetSettingsStore(std::make_shared<CQtSettingsStore>(ToQt(FreshCopy())));
    COptions* o = COptions::Instance();
    o->LoadState();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(o->m_strHistory[i], "clip " + std::to_string(i) + ".swf");
    }
    EXPECT_EQ(o->m_strOutputFolder, "/srv/out put/");
    EXPECT_EQ(o->m_strTempFolder, temp + "/");
    EXPECT_EQ(o->m_nOutputFolderFormat, 2);
    EXPECT_EQ(o->m_nEncodingThreads, 1);
    EXPECT_EQ(o->m_bPromptCancelProfiles, 0);
    EXPECT_EQ(o->m_nFinishFormat, 3);
    EXPECT_EQ(o->m_nFramesConvert, 250);
    EXPECT_EQ(o->m_bAudioRepeated, 1);
    EXPECT_EQ(o->m_nBitDepth, 2);
    EXPECT_EQ(o->m_nSnapshotImageFormat, 1);
    EXPECT_EQ(o->m_strLastOpenFolder, " /srv/a b;c,d#e%f\"g'h\\i=j [k] \xC3\xA4 ");
    EXPECT_EQ(o->m_bMp4Prompt, 0);
    EXPECT_EQ(o->m_bWebmPrompt, 0);
    EXPECT_EQ(o->m_bOggPrompt, 0);
    EXPECT_EQ(o->m_nRunTimes, 42);
    EXPECT_EQ(o->m_nVideoPlayer, 3);
    EXPECT_EQ(o->m_bVideoControl, 0);
    EXPECT_EQ(o->m_bAutoPlay, 1);
    EXPECT_EQ(o->m_bVideoPoster, 0);
    EXPECT_EQ(o->m_bVideoLoop, 1);
    EXPECT_EQ(o->m_bAudioAutoPlay, 1);
    EXPECT_EQ(o->m_bCombineNotify, 1);
    EXPECT_EQ(o->m_bPromptNotSelectAD, 0);
    EXPECT_EQ(o->m_bPromptAutoPlayNextFrame, 0);
    EXPECT_EQ(o->m_bAutoPlayNextFrame, 1);
    EXPECT_EQ(o->m_bDeleteVideosAfterPublish, 1);
    EXPECT_EQ(o->m_strMediaFolderName, "clips");
    EXPECT_EQ(o->m_nPublishActions, 2);
    EXPECT_EQ(o->m_nAfterPublishActions, 2);
    EXPECT_EQ(o->m_bShowAfterPublished, 0);
    EXPECT_EQ(o->m_strSiteRoot, "/srv/my site/");
    EXPECT_EQ(o->m_strJsPath, "/js/");
    EXPECT_EQ(o->m_strMediaPath, "/media files/");
    EXPECT_EQ(o->m_bUsedForCapture, 1);
    EXPECT_EQ(o->m_bCaptureOpenFolder, 0);
}

TEST_F(SettingsFileTest, SectionsAndNamesKeepTheirExactSpelling) {
    {
        CQtSettingsStore store;
        store.WriteInt("Options", "Publish Actions", 7);
        store.WriteInt("Options ", "Publish Actions", 2);
        store.WriteInt("Options/General", "Enable Logging", 1);
        store.WriteString("Publish/Site Root", "#0", "/srv/a/");
        store.WriteInt("Publish/Site Root", "Count", 1);
        store.WriteString("Publish/HTML_Files", "#0", "/srv/a/index.htm");
        store.WriteString("File Dialogs/Select an HTML5 Video or Audio", "Last Path", "/srv/m");
        store.WriteString("DEDE5 Varodo", "empty", "");
        store.WriteString("DEDE5 Varodo", "lines", "a\r\nb\tc");
        store.WriteString("DEDE5 Varodo", "variant-like", "@Variant(\\0\\0\\0\\x7f)");
    }
    CQtSettingsStore store(ToQt(FreshCopy()));
    EXPECT_EQ(store.GetInt("Options", "Publish Actions", -1), 7);
    EXPECT_EQ(store.GetInt("Options ", "Publish Actions", -1), 2);
    EXPECT_EQ(store.GetInt("Options  ", "Publish Actions", -1), -1);
    EXPECT_EQ(store.GetInt("Options/General", "Enable Logging", -1), 1);
    EXPECT_EQ(store.GetString("Publish/Site Root", "#0", "?"), "/srv/a/");
    EXPECT_EQ(store.GetInt("Publish/Site Root", "Count", -1), 1);
    EXPECT_EQ(store.GetString("File Dialogs/Select an HTML5 Video or Audio", "Last Path", "?"),
              "/srv/m");
    EXPECT_EQ(store.GetString("DEDE5 Varodo", "empty", "?"), "");
    EXPECT_EQ(store.GetString("DEDE5 Varodo", "lines", "?"), "a\r\nb\tc");
    EXPECT_EQ(store.GetString("DEDE5 Varodo", "variant-like", "?"), "@Variant(\\0\\0\\0\\x7f)");
    EXPECT_EQ(store.GetString("DEDE5 Varodo", "absent", "default"), "default");

    // Deleting a section takes its sub-sections along, but not a section that only starts alike.
    store.DeleteSection("Publish/Site Root");
    EXPECT_EQ(store.GetInt("Publish/Site Root", "Count", -1), -1);
    EXPECT_EQ(store.GetString("Publish/HTML_Files", "#0", "?"), "/srv/a/index.htm");
    store.DeleteSection("Options");
    EXPECT_EQ(store.GetInt("Options/General", "Enable Logging", -1), -1);
    EXPECT_EQ(store.GetInt("Options ", "Publish Actions", -1), 2);
}

TEST_F(SettingsFileTest, ValueThatIsNotAnIntegerGivesTheDefault) {
    const std::string ini = env.sandbox.Write(
        "typed.ini",
        "[Options]\nRun%20Times=abc\nBit%20Depth=3.5\nFinish%20Format=\nFrames%20Convert= 12 \n"
        "Snapshot%20Image%20Format=1, 2\n");
    const CQtSettingsStore store(ToQt(ini));
    EXPECT_EQ(store.GetInt("Options", "Run Times", 9), 9);
    EXPECT_EQ(store.GetInt("Options", "Bit Depth", 9), 9);
    EXPECT_EQ(store.GetInt("Options", "Finish Format", 9), 9);
    EXPECT_EQ(store.GetInt("Options", "Frames Convert", 9), 12);
    EXPECT_EQ(store.GetInt("Options", "Snapshot Image Format", 9), 9);
    // A hand-written list is still one text.
    EXPECT_EQ(store.GetString("Options", "Snapshot Image Format", "?"), "1, 2");
}

// A file QSettings cannot parse: the defaults (or what did parse) are used, and the user's bytes
// are kept beside the file before the program writes it anew at exit.
TEST_F(SettingsFileTest, UnparsableFileGivesDefaultsAndIsKeptBeforeItIsRewritten) {
    const struct {
        const char* name;
        std::string bytes;
        int runTimes;  // what "Run Times" reads as
    } rows[] = {
        {"binary garbage", std::string("\x01\x02\xff\xfe\0\0zz\x80\n\x7f", 11), -1},
        {"lines without a value", "this is not\nan ini file\n", -1},
        {"unterminated section", "[Options\nRun%20Times=5\n", 5},
        {"good lines among bad ones", "[Options]\nRun%20Times=5\njunk\n[Other]\nx=1\n", 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteIni(row.bytes);
        QFile::remove(ToQt(iniPath + ".corrupt"));
        {
            auto store = std::make_shared<CQtSettingsStore>();
            EXPECT_FALSE(store->IsReadOnly());
            EXPECT_EQ(FromQt(store->BackupFileName()), iniPath + ".corrupt");
            EXPECT_EQ(test::ReadFile(iniPath + ".corrupt"), row.bytes);
            if (row.runTimes >= 0) {
                EXPECT_EQ(store->GetInt("Options", "Run Times", -1), row.runTimes);
            }
            SetSettingsStore(store);
            COptions::Instance()->LoadState();
            EXPECT_EQ(COptions::Instance()->m_nRunTimes, row.runTimes < 0 ? 0 : row.runTimes);
            EXPECT_EQ(COptions::Instance()->m_strMediaFolderName, "medias");
            COptions::Instance()->SaveState();
            COptions::DestroyInstance();
            SetSettingsStore(nullptr);
        }
        const CQtSettingsStore reread(ToQt(FreshCopy()));
        EXPECT_EQ(reread.GetInt("Options", "Run Times", -1),
                  row.runTimes < 0 ? 1 : row.runTimes + 1);
        EXPECT_TRUE(reread.BackupFileName().isEmpty());
        EXPECT_EQ(test::ReadFile(iniPath + ".corrupt"), row.bytes);
    }
}

TEST_F(SettingsFileTest, SecondUnparsableFileDoesNotOverwriteTheFirstBackup) {
    WriteIni("first", ".corrupt");
    WriteIni("second\n");
    const CQtSettingsStore store;
    EXPECT_EQ(FromQt(store.BackupFileName()), iniPath + ".corrupt-1");
    EXPECT_EQ(test::ReadFile(iniPath + ".corrupt"), "first");
    EXPECT_EQ(test::ReadFile(iniPath + ".corrupt-1"), "second\n");
}

TEST_F(SettingsFileTest, EmptyFileIsNoError) {
    WriteIni("");
    CQtSettingsStore store;
    EXPECT_FALSE(store.IsReadOnly());
    EXPECT_TRUE(store.BackupFileName().isEmpty());
    EXPECT_EQ(store.GetInt("Options", "Run Times", -1), -1);
}

// A file the user made read-only (or unreadable) is never written, not even replaced by a new
// file of the same name; its values are still used when they can be read.
TEST_F(SettingsFileTest, ReadOnlyOrUnreadableFileIsNeverWritten) {
    const std::string original = "[Options]\nRun%20Times=5\n";
    for (mode_t mode : {0444, 0000}) {
        SCOPED_TRACE(mode);
        CreateFolders(GetPathFolder(iniPath));
        ::chmod(iniPath.c_str(), 0644);
        WriteIni(original);
        ASSERT_EQ(::chmod(iniPath.c_str(), mode), 0);
        struct stat before {};
        ASSERT_EQ(::stat(iniPath.c_str(), &before), 0);
        {
            auto store = std::make_shared<CQtSettingsStore>();
            EXPECT_TRUE(store->IsReadOnly());
            if (mode == 0444) {
                EXPECT_EQ(store->GetInt("Options", "Run Times", -1), 5);
            }
            SetSettingsStore(store);
            COptions::Instance()->LoadState();
            COptions::Instance()->SaveState();
            // Within the run the new values are what is read.
            EXPECT_EQ(store->GetInt("Options", "Run Times", -1), COptions::Instance()->m_nRunTimes);
            store->DeleteSection("Options");
            store->Flush();
            COptions::DestroyInstance();
            SetSettingsStore(nullptr);
        }
        struct stat after {};
        ASSERT_EQ(::stat(iniPath.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        ::chmod(iniPath.c_str(), 0644);
        EXPECT_EQ(test::ReadFile(iniPath), original);
    }
}

TEST_F(SettingsFileTest, FolderInPlaceOfTheFileGivesDefaultsWithoutCrash) {
    CreateFolders(iniPath);
    {
        auto store = std::make_shared<CQtSettingsStore>();
        EXPECT_TRUE(store->IsReadOnly());
        SetSettingsStore(store);
        COptions::Instance()->LoadState();
        EXPECT_EQ(COptions::Instance()->m_nRunTimes, 0);
        EXPECT_EQ(COptions::Instance()->m_strMediaFolderName, "medias");
        COptions::Instance()->SaveState();
        store->Flush();
        COptions::DestroyInstance();
        SetSettingsStore(nullptr);
    }
    EXPECT_TRUE(IsFolder(iniPath));
    EXPECT_FALSE(PathExists(iniPath + ".corrupt"));
}

}  // namespace

// A value set again unchanged leaves the file as it was: not rewritten, not flushed to disk.
TEST_F(SettingsFileTest, ValuesSetUnchangedLeaveTheFileAlone) {
    WriteIni("[Options]\nRun%20Times=5\nName=a, b\n");
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(iniPath.c_str(), &before), 0);
    CQtSettingsStore store;
    store.WriteString("Options", "Name", "a, b");
    store.WriteInt("Options", "Run Times", 5);
    store.Flush();
    ASSERT_EQ(::stat(iniPath.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}
