// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/OptionReader.h"

#include <algorithm>

#include <CLI/CLI.hpp>

std::string ReadOptionArguments(const std::vector<OptionForm>& forms,
                                const std::vector<std::string>& args,
                                const std::function<void(size_t, const std::string&)>& fill,
                                std::vector<std::string>& positional) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    for (size_t i = 0; i < forms.size(); ++i) {
        (forms[i].value.empty()
             ? app.add_flag_function(forms[i].names,
                                     [&, i](int64_t n) { fill(i, n > 0 ? "yes" : "no"); })
             : app.add_option_function<std::string>(forms[i].names,
                                                    [&, i](const std::string& v) { fill(i, v); }))
            ->trigger_on_parse();
    }
    app.add_option("arguments", positional);
    const size_t foreign = FirstForeignForm(forms, args);
    std::string problem = foreign < args.size() ? "unknown option " + args[foreign] : "";
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(args.rend() - static_cast<std::ptrdiff_t>(foreign),
                                           args.rend()));
    } catch (const OptionRefusal& bad) {
        problem = bad.text;
    } catch (const CLI::ArgumentMismatch& missing) {
        const std::string what = missing.what();
        problem = what.substr(0, what.find(':')) + " needs a value";
    } catch (const CLI::ParseError& other) {
        problem = other.what();
    }
    // Unknown options are set aside as they come: one before a refusal was given first.
    const auto& unknown = app.remaining();
    const auto first = std::find_if(unknown.begin(), unknown.end(),
                                    [](const std::string& a) { return a != "--"; });
    return first == unknown.end() ? problem : "unknown option " + *first;
}
