// SPDX-License-Identifier: GPL-3.0-or-later
// LoadPage + SavePage of a 60 MB UTF-16LE page (the largest size under the page limit) (read into
// the system code page, UTF-8 here, and written back in UTF-16LE) against `iconv -f UTF-16LE -t
// UTF-8` of the same file followed by `iconv -f UTF-8 -t UTF-16LE` of the result. Median of several
// runs; prints one line ending in the ratio (target: at most 1.5).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/MessageBox.h"
#include "publish/CHtmlPage.h"
#include "tests/support/Sandbox.h"

namespace {

// Under CPageFile::kPageLimit_bytes, which a larger page would meet on loading.
constexpr size_t kPageBytes = 60u << 20;
static_assert(kPageBytes < CPageFile::kPageLimit_bytes);
constexpr int kRuns = 5;

void WriteUtf16Page(const std::string& path) {
    const std::u16string head =
        u"<html>\r\n<head>\r\n<title>동영상 벤치마크</title>\r\n</head>\r\n<body>\r\n";
    const std::u16string paragraph =
        u"<p class=\"text\">Lorem ipsum dolor sit amet, café crème brûlée, 안녕하세요 "
        u"<a href=\"page.htm\">동영상</a> — naïve façade.</p>\r\n";
    std::u16string text = head;
    while (text.size() * 2 < kPageBytes) {
        text += paragraph;
    }
    text += u"</body>\r\n</html>\r\n";
    std::string bytes = "\xFF\xFE";
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    codepage::SetSystemCodePageForTesting("UTF-8");
    test::Sandbox sandbox;
    const std::string master = sandbox / "master.htm";
    const std::string pagePath = sandbox / "page.htm";
    const std::string iconvOut = sandbox / "iconv.htm";
    const std::string iconvBack = sandbox / "iconv16.htm";
    WriteUtf16Page(master);

    std::vector<double> ours, theirs;
    size_t written = 0;
    for (int i = 0; i < kRuns; ++i) {
        std::filesystem::copy_file(master, pagePath,
                                   std::filesystem::copy_options::overwrite_existing);
        CHtmlPage page;
        auto start = std::chrono::steady_clock::now();
        if (!page.LoadPage(pagePath) || !page.SavePage(page.Text())) {
            std::fprintf(stderr, "load-save failed\n");
            return 1;
        }
        ours.push_back(Ms(std::chrono::steady_clock::now() - start));
        written = std::filesystem::file_size(pagePath);

        start = std::chrono::steady_clock::now();
        if (test::Run({"iconv", "-f", "UTF-16LE", "-t", "UTF-8", master, "-o", iconvOut}) != 0 ||
            test::Run({"iconv", "-f", "UTF-8", "-t", "UTF-16LE", iconvOut, "-o", iconvBack}) != 0) {
            std::fprintf(stderr, "iconv failed\n");
            return 1;
        }
        theirs.push_back(Ms(std::chrono::steady_clock::now() - start));
    }
    const double oursMs = Median(ours);
    const double iconvMs = Median(theirs);
    std::printf(
        "load-save/iconv: LoadPage+SavePage %.0f ms (%.0f MB UTF-16LE in, %.0f MB out), iconv "
        "both ways %.0f ms, ratio %.2f\n",
        oursMs, static_cast<double>(std::filesystem::file_size(master)) / (1 << 20),
        static_cast<double>(written) / (1 << 20), iconvMs, oursMs / iconvMs);
    return 0;
}
