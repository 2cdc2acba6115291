// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// One option of a program's command line as its help, manual page and shell completion show it.
struct OptionDoc {
    std::string names;     // "-q,--quiet"; a leading "!" marks the form that says no
    std::string value;     // the value's name; empty for a flag
    std::string complete;  // for bash: "-d" a folder, "-f" a file, else the words it takes
    size_t column;         // where the help text starts
    std::string help;      // lines after the first are indented; empty hides the option
};

// "--poster,!--no-poster" as people write it: --poster, --no-poster.
std::vector<std::string> OptionNames(const OptionDoc& option);
// Every name of the options shown.
std::vector<std::string> ShownOptionNames(const std::vector<OptionDoc>& options);
// The options' lines of --help.
std::string OptionHelp(const std::vector<OptionDoc>& options);
// The manual page: `manTemplate` with each line "@NAME@" made the heading of that option.
// Nullopt with `error` set when a shown option has no heading or a heading names no option.
std::optional<std::string> OptionManPage(const std::vector<OptionDoc>& options,
                                         const std::string& manTemplate, std::string& error);
// The bash completion of `program`'s options and of files.
std::string OptionBashCompletion(const std::vector<OptionDoc>& options, const std::string& program);
