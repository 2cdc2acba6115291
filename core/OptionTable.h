// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// One option of a program's command line, as its help, manual page and shell completion show
// it and as it is written on the command line.
struct OptionForm {
    std::string names;          // "-q,--quiet"; a leading "!" marks the form that says no
    std::string value;          // the value's name; empty for a flag
    std::string help;           // lines after the first are indented; empty hides the option
    size_t column = 23;         // where the help text starts
    std::string complete = {};  // for bash: "-d" a folder, "-f" a file, else the words it takes
};

// "--poster,!--no-poster" as people write it: --poster, --no-poster.
std::vector<std::string> OptionNames(const OptionForm& option);
// Every name of the options shown.
std::vector<std::string> ShownOptionNames(const std::vector<OptionForm>& options);
// The options' lines of --help.
std::string OptionHelp(const std::vector<OptionForm>& options);
// The manual page: `manTemplate` with each line "@NAME@" made the heading of that option.
// Nullopt with `error` set when a shown option has no heading or a heading names no option.
std::optional<std::string> OptionManPage(const std::vector<OptionForm>& options,
                                         const std::string& manTemplate, std::string& error);
// The index of the first argument in a form the options are never given in, "--name=value" or
// "-qv" (several flags in one); the arguments' count when there is none.
size_t FirstForeignForm(const std::vector<OptionForm>& options,
                        const std::vector<std::string>& args);
// The bash completion of `program`'s options, of files and of the words of `commands`.
std::string OptionBashCompletion(const std::vector<OptionForm>& options, const std::string& program,
                                 const std::string& commands = {});
