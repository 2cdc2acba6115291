// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/OptionTable.h"

#include <algorithm>
#include <set>
#include <sstream>

#include <fmt/printf.h>

#include "core/PathUtils.h"

namespace {

std::string Joined(const std::vector<std::string>& parts, const std::string& between) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : between) + part;
    }
    return text;
}

std::string Replaced(std::string text, std::string_view what, std::string_view with) {
    ReplaceAll(text, what, with);
    return text;
}

}  // namespace

std::vector<std::string> OptionNames(const OptionForm& option) {
    std::vector<std::string> names;
    std::istringstream list(option.names);
    for (std::string name; std::getline(list, name, ',');) {
        names.push_back(name.starts_with('!') ? name.substr(1) : name);
    }
    return names;
}

std::vector<std::string> ShownOptionNames(const std::vector<OptionForm>& options) {
    std::vector<std::string> names;
    for (const OptionForm& option : options) {
        const auto more = option.help.empty() ? std::vector<std::string>() : OptionNames(option);
        names.insert(names.end(), more.begin(), more.end());
    }
    return names;
}

std::string OptionHelp(const std::vector<OptionForm>& options) {
    std::string text;
    for (const OptionForm& option : options) {
        if (!option.help.empty()) {
            std::string left = "  " + Joined(OptionNames(option), ", ");
            left += option.value.empty() ? "" : " " + option.value;
            left.append(left.size() + 2 > option.column ? 2 : option.column - left.size(), ' ');
            text += left + Replaced(option.help, "\n", "\n" + std::string(23, ' ')) + "\n";
        }
    }
    return text;
}

std::optional<std::string> OptionManPage(const std::vector<OptionForm>& options,
                                         const std::string& manTemplate, std::string& error) {
    std::string page;
    std::set<std::string> entered;
    std::string values;  // the words the option last headed takes, for "@VALUES@"
    std::istringstream lines(manTemplate);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(1, line.size() < 3 ? 0 : line.size() - 2);
        const auto option = std::find_if(options.begin(), options.end(), [&](const OptionForm& o) {
            return !o.help.empty() && OptionNames(o).front() == name;
        });
        if (line.size() < 3 || !line.starts_with('@') || !line.ends_with('@')) {
            page += Replaced(line, "@VALUES@", values) + "\n";
        } else if (option == options.end()) {
            error = "the template names an option that does not exist: " + name;
            return std::nullopt;
        } else {
            entered.insert(name);
            std::istringstream words(option->complete);
            std::vector<std::string> bold;
            for (std::string word; words >> word;) {
                bold.push_back("\\fB" + word + "\\fR");
            }
            values = bold.size() < 2
                         ? Joined(bold, "")
                         : Joined({bold.begin(), bold.end() - 1}, ", ") + " or " + bold.back();
            const std::string names = Joined(OptionNames(*option), "\\fR, \\fB");
            page += ".TP\n\\fB" + Replaced(names, "-", "\\-") + "\\fR" +
                    (option->value.empty() ? "" : " \\fI" + option->value + "\\fR") + "\n";
        }
    }
    for (const OptionForm& option : options) {
        if (!option.help.empty() && !entered.contains(OptionNames(option).front())) {
            error = "the template has no entry for " + OptionNames(option).front();
            return std::nullopt;
        }
    }
    return page;
}

size_t FirstForeignForm(const std::vector<OptionForm>& options,
                        const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        const std::string& arg = args[i];
        if (std::any_of(options.begin(), options.end(), [&](const OptionForm& option) {
                return !option.value.empty() && std::ranges::count(OptionNames(option), arg) > 0;
            })) {
            ++i;
        } else if ((arg.starts_with("--") && arg.find('=') != std::string::npos) ||
                   (arg.size() > 2 && arg[0] == '-' && arg[1] != '-')) {
            return i;
        }
    }
    return args.size();
}

std::string OptionBashCompletion(const std::vector<OptionForm>& options, const std::string& program,
                                 const std::string& commands) {
    std::string cases;
    for (const OptionForm& option : options) {
        const std::string reply = option.complete.empty() ? ""
                                  : option.complete.starts_with('-')
                                      ? "$(compgen " + option.complete + " -- \"$cur\")"
                                      : "$(compgen -W '" + option.complete + "' -- \"$cur\")";
        if (!option.help.empty() && !option.value.empty()) {
            cases += "        " + Joined(OptionNames(option), "|") + ") COMPREPLY=(" + reply +
                     "); return ;;\n";
        }
    }
    const std::string function = "_" + Replaced(program, "-", "_");
    return fmt::sprintf(
        "# bash completion for %s\n"
        "%s() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    case $prev in\n%s    esac\n"
        "    if [[ $cur == -* ]]; then\n"
        "        COMPREPLY=($(compgen -W '%s' -- \"$cur\"))\n"
        "    else\n"
        "        COMPREPLY=(%s$(compgen -f -- \"$cur\"))\n"
        "    fi\n"
        "}\n"
        "complete -o filenames -F %s %s\n",
        program, function, cases, Joined(ShownOptionNames(options), " "),
        commands.empty() ? "" : "$(compgen -W '" + commands + "' -- \"$cur\") ", function, program);
}
