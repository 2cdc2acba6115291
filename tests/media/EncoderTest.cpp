// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Encoder.h"

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/Task.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/support/Sandbox.h"

namespace {

using mediatest::ScopedEnv;
using Lines = std::vector<std::string>;

// Runs a given program with given arguments and keeps every line it is handed.
class CRecordingEncoder : public CEncoder {
public:
    CRecordingEncoder(CTask* task, std::string path, std::vector<std::string> args)
        : CEncoder(task), m_strPath(std::move(path)) {
        m_arrArgs = std::move(args);
        for (const std::string& arg : m_arrArgs) {
            m_strArgs += " " + arg;
        }
    }
    std::string GetEncoderPath() override { return m_strPath; }
    bool ParseLine(const std::string& line) override {
        m_arrLines.push_back(line);
        return true;
    }

    std::string m_strPath;
    Lines m_arrLines;
};

class EncoderTest : public ::testing::Test {
protected:
    // What the stand-in prints on standard output.
    void Output(const std::string& bytes) {
        m_output.reset();  // restores the old value before the new one is set
        m_output = std::make_unique<ScopedEnv>("DEDE5_STANDIN_OUTPUT",
                                               env.sandbox.Write("output.txt", bytes));
    }
    bool Run(std::vector<std::string> args = {}) {
        encoder =
            std::make_unique<CRecordingEncoder>(&task, mediatest::StandInPath(), std::move(args));
        return encoder->Start();
    }

    test::Environment env;
    CTask task;
    std::unique_ptr<CRecordingEncoder> encoder;

private:
    std::unique_ptr<ScopedEnv> m_output;
};

TEST_F(EncoderTest, OutputIn255BytePiecesIsParsedOnceWholePerLine) {
    const std::string first(250, 'a');
    const std::string split = "frame=    7 fps=0.0 time=00:00:00.28 " + std::string(300, 'b');
    const std::string last(40, 'c');
    Output(first + "\n" + split + "\r\n" + last + "\n");
    ScopedEnv pieces("DEDE5_STANDIN_PIECE", "255");
    EXPECT_TRUE(Run());
    EXPECT_EQ(encoder->m_arrLines, (Lines{first, split, last}));
    EXPECT_EQ(task.GetStatus(), CTask::TASK_STATUS_FINISHED);
    EXPECT_EQ(encoder->m_bOutputSeen, 1);
}

TEST_F(EncoderTest, CarriageReturnStatusLinesAndBlankLinesGiveNoEmptyLines) {
    Output(
        "Input #0\r\n\r\n\nframe=    1 time=00:00:00.40\rframe=    2 time=00:00:00.80\r"
        "\r\nvideo:1kB\n");
    ScopedEnv pieces("DEDE5_STANDIN_PIECE", "3");  // separators cut between writes too
    EXPECT_TRUE(Run());
    EXPECT_EQ(encoder->m_arrLines, (Lines{"Input #0", "frame=    1 time=00:00:00.40",
                                          "frame=    2 time=00:00:00.80", "video:1kB"}));
}

TEST_F(EncoderTest, LastLineWithoutLineEndIsDropped) {
    Output("done\nunfinished");
    EXPECT_TRUE(Run());
    EXPECT_EQ(encoder->m_arrLines, Lines{"done"});
}

TEST_F(EncoderTest, StandardErrorSharesThePipe) {
    Output("on stdout\n");
    ScopedEnv error("DEDE5_STANDIN_STDERR", "on stderr\n");
    EXPECT_TRUE(Run());
    EXPECT_EQ(encoder->m_arrLines, (Lines{"on stdout", "on stderr"}));
}

TEST_F(EncoderTest, SilentExitWithCodeOneFails) {
    ScopedEnv code("DEDE5_STANDIN_EXIT", "1");
    EXPECT_FALSE(Run());
    EXPECT_EQ(task.GetStatus(), CTask::TASK_STATUS_FAILED);
    EXPECT_TRUE(encoder->m_arrLines.empty());
    EXPECT_EQ(encoder->m_bOutputSeen, 0);
}

TEST_F(EncoderTest, NonZeroExitFailsEvenAfterOutput) {
    Output("frame=    1 time=00:00:00.04\n");
    ScopedEnv code("DEDE5_STANDIN_EXIT", "3");
    EXPECT_FALSE(Run());
    EXPECT_EQ(task.GetStatus(), CTask::TASK_STATUS_FAILED);
    EXPECT_EQ(encoder->m_arrLines.size(), 1u);
}

TEST_F(EncoderTest, ChildKilledBySignalFails) {
    mediatest::EnableLog(env, 0);
    ScopedEnv signal("DEDE5_STANDIN_SIGNAL", std::to_string(SIGTERM));
    EXPECT_FALSE(Run());
    EXPECT_EQ(task.GetStatus(), CTask::TASK_STATUS_FAILED);
    const auto lines = mediatest::LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Encoder exit code: " + std::to_string(128 + SIGTERM)),
              lines.end());
}

TEST_F(EncoderTest, ChildThatClosesItsOutputIsStillWaitedFor) {
    Output("before closing\n");
    ScopedEnv linger("DEDE5_STANDIN_LINGER", "300");
    ScopedEnv code("DEDE5_STANDIN_EXIT", "5");
    mediatest::EnableLog(env, 0);
    EXPECT_FALSE(Run());
    EXPECT_EQ(encoder->m_arrLines, Lines{"before closing"});
    const auto lines = mediatest::LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Encoder exit code: 5"), lines.end())
        << "the real exit code, not one read while the child still ran";
}

TEST_F(EncoderTest, ProgramThatCannotStartFailsTheTask) {
    const std::string folder = env.sandbox.MakeFolder("folder");
    const std::string plain = env.sandbox.Write("plain", "#!/bin/sh\nexit 0\n");
    for (const std::string& path :
         {env.sandbox / "missing", folder, plain, std::string("no-such-program-dede5")}) {
        CTask failing;
        CRecordingEncoder runner(&failing, path, {"-i", "x"});
        EXPECT_FALSE(runner.Start()) << path;
        EXPECT_EQ(failing.GetStatus(), CTask::TASK_STATUS_FAILED) << path;
    }
}

// An answer piped to the command-line publisher must reach it, not ffmpeg.
TEST_F(EncoderTest, ChildDoesNotReadOurStandardInput) {
    const std::string reader = env.sandbox.Write(
        "reader", "#!/bin/sh\nif read line; then echo \"read:$line\"; else echo eof; fi\n");
    ASSERT_EQ(::chmod(reader.c_str(), 0755), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "y\n", 2), 2);
    ::close(fds[1]);
    const int saved = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);

    CRecordingEncoder runner(&task, reader, {});
    const bool ok = runner.Start();
    char left[4] = {};
    const ssize_t stillThere = ::read(STDIN_FILENO, left, sizeof left);
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);

    EXPECT_TRUE(ok);
    EXPECT_EQ(runner.m_arrLines, Lines{"eof"});
    EXPECT_EQ(stillThere, 2);
}

TEST_F(EncoderTest, ArgumentsArriveUnchangedOneEach) {
    const std::string argsFile = env.sandbox / "args";
    ScopedEnv record("DEDE5_STANDIN_ARGS", argsFile);
    const std::vector<std::string> args = {
        "two words", "\"quoted\"", "it's",  "$HOME", "a;b", "; rm -rf /", "`id`",
        "Grüße ñ",   "-leading",   "*.mp4", "",      "\\",  "tab\there",  "|&>",
    };
    EXPECT_TRUE(Run(args));
    std::vector<std::string> expected = {mediatest::StandInPath()};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(mediatest::ReadArgs(argsFile), expected);
}

TEST_F(EncoderTest, LogShowsEachStepInOrder) {
    mediatest::EnableLog(env, 1);
    Output("line one\r\nline two\n");
    EXPECT_TRUE(Run({"-i", "in put"}));
    const std::string path = mediatest::StandInPath();
    EXPECT_EQ(mediatest::LogLines(), (Lines{
                                         "Enter CEncode::Start()",
                                         "\"" + path + "\"  -i in put",
                                         "CreateProcess(): Done",
                                         "WaitForInputIdle(): Done",
                                         "line one",
                                         "line two",
                                         "Encoder exit code: 0",
                                         "Exit CEncoder::Start()",
                                     }));
}

TEST_F(EncoderTest, OutputLinesNeedALogLevelAboveZero) {
    mediatest::EnableLog(env, 0);
    Output("line one\n");
    EXPECT_TRUE(Run());
    const auto lines = mediatest::LogLines();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "line one"), lines.end());
    EXPECT_EQ(lines.back(), "Exit CEncoder::Start()");
    EXPECT_EQ(lines.size(), 6u);
}

TEST_F(EncoderTest, MissingProgramLogsNoExitCode) {
    mediatest::EnableLog(env, 1);
    CRecordingEncoder runner(&task, env.sandbox / "missing", {});
    EXPECT_FALSE(runner.Start());
    EXPECT_EQ(mediatest::LogLines(), (Lines{
                                         "Enter CEncode::Start()",
                                         "\"" + env.sandbox / "missing" + "\" ",
                                         "CreateProcess(): Done",
                                         "Exit CEncoder::Start()",
                                     }));
}

}  // namespace
