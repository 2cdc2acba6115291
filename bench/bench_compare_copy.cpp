// SPDX-License-Identifier: GPL-3.0-or-later
// FilesDiffer against cmp on two identical 256 MiB files, and CopyMediaFiles against cp of one
// 256 MiB file, median of several runs each with the files in the page cache. Comparing and
// copying are bound by memory and disk, so the engine should come close to the tools.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/Timing.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "publish/MediaCopy.h"
#include "tests/support/Sandbox.h"

namespace {

using bench::Median;
using bench::Seconds;

constexpr int kRuns = 5;
constexpr size_t kSize = size_t{256} << 20;

bool WriteFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(size_t{1} << 20);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    for (size_t written = 0; written < kSize; written += block.size()) {
        block[0] = static_cast<char>(written >> 20);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(out);
}

class CNoQuestions : public ICopyQuestions {
public:
    int AskOverwrite(const std::string&) override { return COPY_EXIST_YES; }
    int AskCopyError(const std::string&) override { return 3; }
    void Tell(const CError&) override {}
};

}  // namespace

int main() {
    test::Sandbox box;
    const std::string a = box / "a.mp4";
    const std::string b = box / "b.mp4";
    if (!WriteFile(a) || !WriteFile(b)) {
        std::fprintf(stderr, "cannot write the test files in %s\n", box.path().c_str());
        return 1;
    }
    // Warm the page cache so both sides read memory, not the disk.
    test::Run({"cmp", a, b});
    FilesDiffer(a, b);

    std::vector<double> ours, tool;
    for (int i = 0; i < kRuns; ++i) {
        int differ = 1;
        ours.push_back(Seconds([&] { differ = FilesDiffer(a, b); }));
        tool.push_back(Seconds([&] { test::Run({"cmp", a, b}); }));
        if (differ != 0) {
            std::fprintf(stderr, "FilesDiffer found identical files different\n");
            return 1;
        }
    }
    const double compare = Median(ours), cmp = Median(tool);
    std::printf("compare/cmp: FilesDiffer %.1f ms, cmp %.1f ms, ratio: %.3f\n", compare * 1e3,
                cmp * 1e3, compare / cmp);

    ours.clear();
    tool.clear();
    CNoQuestions questions;
    for (int i = 0; i < kRuns; ++i) {
        const std::string ourFolder = box / ("ours" + std::to_string(i));
        const std::string cpFolder = box / ("cp" + std::to_string(i));
        CreateFolders(cpFolder);
        PlayerRequest request;
        request.mediaFolderUrl = "medias/";
        request.copyList = {a};
        bool copied = false;
        CreateFolders(ourFolder);
        const auto site = CSiteFolder::Open(ourFolder);
        MediaCopyPlace place{site.value.get(), "", GetTempFolder(), nullptr, {}};
        ours.push_back(
            Seconds([&] { copied = site && CopyMediaFiles(request, place, questions); }));
        tool.push_back(Seconds([&] { test::Run({"cp", a, cpFolder + "/a.mp4"}); }));
        if (!copied || FilesDiffer(a, ourFolder + "/a.mp4") != 0) {
            std::fprintf(stderr, "CopyMediaFiles did not copy the file\n");
            return 1;
        }
        DeleteFolder(ourFolder);
        DeleteFolder(cpFolder);
    }
    const double copy = Median(ours), cp = Median(tool);
    std::printf("copy/cp: CopyMediaFiles %.1f ms, cp %.1f ms, ratio: %.3f\n", copy * 1e3, cp * 1e3,
                copy / cp);
    return 0;
}
