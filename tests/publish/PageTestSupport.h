// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/CodePage.h"
#include "tests/support/Sandbox.h"

namespace test {

// The bytes of a committed sample page.
inline std::string CommittedPage(const std::string& name) {
    return ReadFile(std::string(DEDE5_TEST_PAGES) + "/" + name);
}

// Pins the system code page for one test.
class CodePagePin {
public:
    explicit CodePagePin(const std::string& name) { codepage::SetSystemCodePageForTesting(name); }
    ~CodePagePin() { codepage::SetSystemCodePageForTesting(""); }
    CodePagePin(const CodePagePin&) = delete;
    CodePagePin& operator=(const CodePagePin&) = delete;
};

}  // namespace test
