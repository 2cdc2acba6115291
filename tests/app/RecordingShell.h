// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "core/Shell.h"

namespace test {

// Records what the program asks the desktop to open, show or start, and does none of it.
class RecordingShell : public IShell {
public:
    bool OpenDefault(const std::string& pathOrUrl) override {
        opened.push_back(pathOrUrl);
        return true;
    }
    bool ShowItem(const std::string& path) override {
        shown.push_back(path);
        return true;
    }
    bool Launch(const std::string& program, const std::vector<std::string>&) override {
        launched.push_back(program);
        return true;
    }

    std::vector<std::string> opened, shown, launched;
};

}  // namespace test
