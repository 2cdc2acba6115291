// SPDX-License-Identifier: GPL-3.0-or-later
// A small table of another program through the writers the publisher's table uses.
#include "core/OptionTable.h"

#include <gtest/gtest.h>

namespace {

const std::vector<OptionForm> kTable = {
    {"--colour,!--no-colour", "", "paint it"},
    {"--name-that-is-long", "WORD", "first line\nsecond line", 23, "red green"},
    {"--out", "FILE", "", 23, "-f"},
};

TEST(OptionWriters, HelpLinesWrapAndAWideNameKeepsTwoBlanks) {
    EXPECT_EQ(OptionHelp(kTable),
              "  --colour, --no-colour  paint it\n"
              "  --name-that-is-long WORD  first line\n"
              "                       second line\n");
    EXPECT_EQ(ShownOptionNames(kTable),
              (std::vector<std::string>{"--colour", "--no-colour", "--name-that-is-long"}));
}

TEST(OptionWriters, ManPageNeedsAHeadingForEachShownOptionAndNoOther) {
    std::string error;
    EXPECT_EQ(OptionManPage(kTable, ".TH X\n@--colour@\n@--name-that-is-long@\n", error),
              ".TH X\n.TP\n\\fB\\-\\-colour\\fR, \\fB\\-\\-no\\-colour\\fR\n"
              ".TP\n\\fB\\-\\-name\\-that\\-is\\-long\\fR \\fIWORD\\fR\n");
    EXPECT_FALSE(OptionManPage(kTable, "@--colour@\n", error));
    EXPECT_EQ(error, "the template has no entry for --name-that-is-long");
    EXPECT_FALSE(OptionManPage(kTable, "@--colour@\n@--name-that-is-long@\n@--out@\n", error))
        << "a hidden option has no heading";
    EXPECT_EQ(error, "the template names an option that does not exist: --out");
}

TEST(OptionWriters, ForeignFormsAreFoundOnlyWhereAnOptionCouldStand) {
    const struct {
        std::vector<std::string> args;
        size_t foreign;
    } rows[] = {
        {{"--out", "a"}, 2},
        {{"--out=a"}, 0},
        {{"a", "-qv"}, 1},
        {{"--out", "-qv", "--colour=x"}, 2},  // a value, then a foreign form
        {{"--", "-qv", "--out=a"}, 3},
        {{"-q", "--colour"}, 2},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FirstForeignForm(kTable, row.args), row.foreign) << row.args.back();
    }
}

TEST(OptionWriters, CompletionOffersValuesAfterTheirOptionAndNamesTheProgram) {
    const std::string script = OptionBashCompletion(kTable, "my-tool");
    EXPECT_NE(script.find("        --name-that-is-long) COMPREPLY=($(compgen -W 'red green' -- "
                          "\"$cur\")); return ;;\n"),
              std::string::npos)
        << script;
    EXPECT_EQ(script.find("--out)"), std::string::npos) << "hidden options are not completed";
    EXPECT_NE(script.find("complete -o filenames -F _my_tool my-tool\n"), std::string::npos);
}

}  // namespace
