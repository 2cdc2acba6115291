// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/Process.h"

namespace cli_test {

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs the built publisher as a user would, with `input` on its standard input (or the open
// file `inputFd`).
inline Result Publish(std::vector<std::string> args, const std::string& input = "",
                      int inputFd = -1) {
    ProcessRequest request;
    request.argv = {DEDE5_PUBLISH_PROGRAM};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    request.input = inputFd >= 0 ? ProcessInput::Descriptor : ProcessInput::Text;
    request.inputFd = inputFd;
    request.inputText = input;
    request.separateErrors = true;
    Result result;
    const ProcessResult run = RunProcess(
        request, [&](std::string_view chunk) { result.out += chunk; },
        [&](std::string_view chunk) { result.err += chunk; });
    EXPECT_TRUE(run.started) << std::strerror(run.startError);
    result.status = run.exited ? run.exitCode : -1;
    return result;
}

}  // namespace cli_test
