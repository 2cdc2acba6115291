// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Error.h"

#include <fmt/args.h>
#include <fmt/printf.h>

#include "core/PathUtils.h"
#include "core/StringTable.h"

std::string ErrorText(const CError& error) {
    if (error.id == 0) {
        return GetErrorText(error.error);
    }
    fmt::dynamic_format_arg_store<fmt::printf_context> args;
    for (const std::string& arg : error.args) {
        args.push_back(arg);
    }
    return fmt::vsprintf(fmt::string_view(LoadStringRes(error.id)), args);
}

IReport& SilentReport() {
    class CSilentReport : public IReport {
    public:
        void Tell(const CError&) override {}
        bool Ask(const CError&) override { return false; }
    };
    static CSilentReport silent;
    return silent;
}
