// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/MessageBox.h"

// A broken invariant: libFuzzer takes the abort as a finding and keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// A folder of this process alone, in memory where the system has /dev/shm, removed at exit.
const std::string& ScratchFolder();
// Writes `bytes` to `name` in the scratch folder, replacing it; returns the full path.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);
std::string ReadWholeFile(const std::string& path);
// Points HOME, TMPDIR and the XDG folders into the scratch folder, so nothing the engine does
// reaches the user's own files.
void ConfineEnvironment();

// Answers every question with `answer` and counts what was shown.
class CAnsweringMessageBox : public IMessageBox {
public:
    int Show(unsigned type, const std::string& text) override;
    void Reset(int answer);

    int answer = IDYES;
    int questions = 0;
    int errors = 0;
    std::vector<std::string> texts;
};

// "%XX" escapes back to bytes; nullopt-like false when an escape is malformed.
bool PercentDecode(std::string_view url, std::string& out);

std::string Printable(std::string_view bytes);

}  // namespace fuzz
