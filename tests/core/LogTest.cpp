// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Log.h"

#include <ctime>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "tests/support/Sandbox.h"

namespace {

std::string TodayPrefix() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d-", &local);
    return std::string("Ombrel DEDE5 Varodo ") + date;
}

std::vector<std::string> LogFiles(const std::string& folder) {
    std::string listing;
    test::Run({"ls", "-1", folder}, &listing);
    std::vector<std::string> files;
    SplitString(listing, "\n", files);
    std::erase_if(files, [](const std::string& f) { return !f.ends_with(".LOG"); });
    return files;
}

TEST(Log, OffWritesNoFile) {
    test::Environment env;
    CLog* log = CLog::Instance();
    EXPECT_FALSE(log->IsEnabled());
    log->Write("nothing %d\r\n", 1);
    log->WriteDetail("nothing\r\n");
    EXPECT_TRUE(log->GetFilePath().empty());
    EXPECT_TRUE(LogFiles(env.tmp).empty());
    CLog::DestroyInstance();
    EXPECT_EQ(env.store->GetInt("Options/General", "Enable Logging", -1), 0)
        << "the destructor writes the flag back";
}

TEST(Log, OnCreatesOneNumberedFilePerStart) {
    test::Environment env;
    env.store->WriteInt("Options/General", "Enable Logging", 1);
    CLog::Instance()->Write("first %s\r\n", "run");
    CLog::Instance()->AppendText("Done\r\n");
    CLog::Instance()->WriteDetail("hidden at level 0\r\n");
    const std::string first = CLog::Instance()->GetFilePath();
    CLog::DestroyInstance();
    CLog::Instance()->Write("second\r\n");
    const std::string second = CLog::Instance()->GetFilePath();
    CLog::DestroyInstance();

    EXPECT_EQ(first, env.tmp + "/" + TodayPrefix() + "0.LOG");
    EXPECT_EQ(second, env.tmp + "/" + TodayPrefix() + "1.LOG");
    const std::string text = test::ReadFile(first);
    EXPECT_TRUE(std::regex_match(text, std::regex("\\d\\d:\\d\\d:\\d\\d first run\r\nDone\r\n")))
        << text;
    EXPECT_EQ(env.store->GetInt("Options/General", "Enable Logging", 0), 1);
}

TEST(Log, DetailLinesNeedALevelAboveZero) {
    test::Environment env;
    env.store->WriteInt("Options/General", "Enable Logging", 1);
    env.store->WriteInt("Options/General", "Log Level", 1);
    CLog::Instance()->WriteDetail("frame=%d\r\n", 12);
    const std::string path = CLog::Instance()->GetFilePath();
    CLog::DestroyInstance();
    EXPECT_NE(test::ReadFile(path).find(" frame=12\r\n"), std::string::npos);
}

TEST(Log, ConcurrentWritersNeverSplitALine) {
    test::Environment env;
    env.store->WriteInt("Options/General", "Enable Logging", 1);
    CLog* log = CLog::Instance();
    const std::string longText(300, 'x');
    auto writer = [&](char tag) {
        for (int i = 0; i < 300; ++i) {
            log->Write("%c%s%c %d\r\n", tag, longText, tag, i);
        }
    };
    std::thread a(writer, 'A'), b(writer, 'B'), c(writer, 'C');
    a.join();
    b.join();
    c.join();
    const std::string path = log->GetFilePath();
    CLog::DestroyInstance();

    std::vector<std::string> lines;
    SplitString(test::ReadFile(path), "\n", lines);
    ASSERT_EQ(lines.size(), 900u);
    const std::regex whole("\\d\\d:\\d\\d:\\d\\d ([ABC])x{300}\\1 \\d+\r");
    for (const auto& line : lines) {
        ASSERT_TRUE(std::regex_match(line, whole)) << line.substr(0, 40);
    }
}

TEST(Log, UnwritableTempFolderLeavesTheLogSilent) {
    test::Environment env;
    env.store->WriteInt("Options/General", "Enable Logging", 1);
    ::setenv("TMPDIR", (env.tmp + "/missing/folder").c_str(), 1);
    CLog::Instance()->Write("lost\r\n");
    EXPECT_TRUE(CLog::Instance()->IsEnabled());
    EXPECT_TRUE(CLog::Instance()->GetFilePath().empty());
    ::setenv("TMPDIR", env.tmp.c_str(), 1);
}

}  // namespace
