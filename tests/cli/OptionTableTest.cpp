// SPDX-License-Identifier: GPL-3.0-or-later
// The installed manual page, --help and the bash completion offer every option of the program,
// and the completion offers only values the program takes.
#include <sstream>

#include <gtest/gtest.h>

#include "cli/PublishJob.h"
#include "tests/support/Sandbox.h"

namespace {

// What bash offers for the word `word` typed after `previous`.
std::vector<std::string> Completed(const std::string& previous, const std::string& word) {
    const std::string script = std::string("source '") + DEDE5_COMPLETION +
                               "'; COMP_WORDS=(dede5-publish \"$1\" \"$2\"); COMP_CWORD=2; "
                               "_dede5_publish; printf '%s\\n' \"${COMPREPLY[@]}\"";
    std::string out;
    EXPECT_EQ(test::Run({"bash", "-c", script, "bash", previous, word}, &out), 0) << out;
    std::vector<std::string> words;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        words.push_back(line);
    }
    return words;
}

TEST(OptionTable, ManPageHelpAndCompletionOfferEveryOption) {
    std::string help;
    ASSERT_EQ(test::Run({DEDE5_PUBLISH_PROGRAM, "--help"}, &help), 0);
    const std::string man = test::ReadFile(DEDE5_MAN_PAGE);
    const std::vector<std::string> offered = Completed("x", "-");
    const auto names = ShownOptionNames(PublishOptionForms());
    ASSERT_GE(names.size(), 30u);
    for (const std::string& name : names) {
        std::string escaped;
        for (char c : name) {
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        }
        EXPECT_TRUE(help.find(" " + name + " ") != std::string::npos ||
                    help.find(" " + name + ",") != std::string::npos)
            << name;
        EXPECT_NE(man.find("\\fB" + escaped + "\\fR"), std::string::npos) << name;
        EXPECT_NE(std::find(offered.begin(), offered.end(), name), offered.end()) << name;
    }
    EXPECT_EQ(man.find("\n@"), std::string::npos) << "an option heading left unwritten";
    // The commands, and the options only they take, are offered too.
    const std::vector<std::string> words = Completed("--quiet", "re");
    for (const char* command : {"remove", "replace"}) {
        EXPECT_NE(std::find(words.begin(), words.end(), command), words.end()) << command;
    }
    for (const char* option : {"--json", "--keep-files", "--new-captions", "--keep-poster"}) {
        EXPECT_NE(std::find(offered.begin(), offered.end(), option), offered.end()) << option;
    }

    for (const char* option : {"--player", "--overwrite"}) {
        const auto values = Completed(option, "");
        EXPECT_GE(values.size(), 3u) << option;
        for (const std::string& value : values) {
            std::string error;
            // The manual's list of players comes from the table too.
            EXPECT_TRUE(option != std::string("--player") ||
                        man.find("\\fB" + value + "\\fR") != std::string::npos)
                << value;
            EXPECT_TRUE(ParsePublishArguments({option, value, "m.mp4", "p.htm"}, false, error))
                << option << " " << value << ": " << error;
        }
    }
}

}  // namespace
