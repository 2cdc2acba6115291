// SPDX-License-Identifier: GPL-3.0-or-later
// InsertPlayerCode on a 10 MB page with 2,000 script blocks, against one JIT scan of the same
// text for "<script". Prints one line ending in the ratio (target: at most 3).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Regex.h"
#include "publish/CHtmlPage.h"
#include "publish/CStringPageEditor.h"

namespace {

constexpr size_t kPageBytes = 10u << 20;
constexpr int kScriptBlocks = 2000;
constexpr int kRuns = 9;

// A page as the menu product leaves it: its three blocks in the head, then a long body whose
// sections each carry a script of their own.
std::string MakePage(size_t& cursor) {
    std::string page =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>Benchmark</title>\r\n"
        "<script type=\"text/javascript\" src=\"menu/kvmenu.js\"></script>\r\n"
        "<script type=\"text/javascript\" id=\"kelvary_dhtmlmenu\"> <!--\r\n"
        "var kv_items = [\"Home\", \"Videos\"];\r\n//--> </script>\r\n"
        "<script type=\"text/javascript\">\r\nvar kv_path = \"menu/\"; var kv_lib = \"kvm31\";"
        "\r\n</script>\r\n"
        "<link rel=\"stylesheet\" href=\"site.css\">\r\n</head>\r\n<BODY>\r\n";
    constexpr int kBodyBlocks = kScriptBlocks - 3;
    const size_t section = kPageBytes / kBodyBlocks;
    for (int i = 0; i < kBodyBlocks; ++i) {
        if (i == kBodyBlocks / 2) {
            cursor = page.size();
        }
        const size_t start = page.size();
        page += "<script type=\"text/javascript\">\r\nvar counter" + std::to_string(i) +
                " = document.getElementById('c" + std::to_string(i) +
                "');\r\nif (counter) { counter.innerHTML = '<b>' + " + std::to_string(i) +
                " + '</b>'; }\r\n</script>\r\n";
        while (page.size() - start < section) {
            page += "<p class=\"text\">Lorem ipsum <a href=\"page" + std::to_string(i) +
                    ".htm\">dolor</a> sit amet, <em>consectetur</em> adipiscing elit.</p>\r\n";
        }
    }
    page += "</BODY>\r\n</html>\r\n";
    return page;
}

// Times the editor's own work: a string editor moves the page's tail on every edit, which is
// the editor's cost, not the engine's.
class CTimedEditor : public CStringPageEditor {
public:
    using CStringPageEditor::CStringPageEditor;
    void ReplaceSelection(std::string_view text) override {
        auto start = std::chrono::steady_clock::now();
        CStringPageEditor::ReplaceSelection(text);
        editMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    double editMs = 0;
};

template <typename F>
double MedianMs(F&& run) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        times.push_back(run());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
    size_t cursor = 0;
    const std::string text = MakePage(cursor);

    CHtmlPage page;
    page.SetHeadCode(
        "<link href=\"../js/video-js/video-js.css\" rel=\"stylesheet\">\n"
        "<script src=\"../js/video-js/video.js\"></script>\n");
    page.SetBodyCode(
        "<video id=\"v1\" class=\"video-js vjs-default-skin\" controls preload=\"none\" "
        "width=\"640\" height=\"360\">\n<source src=\"../medias/clip.mp4\" type=\"video/mp4\"/>\n"
        "</video>\n");
    size_t selectedBytes = 0;
    std::vector<double> editTimes;
    const double insertMs = MedianMs([&] {
        CTimedEditor editor(text);
        editor.SetSelection(cursor, cursor);
        page.Reset();
        auto start = std::chrono::steady_clock::now();
        page.InsertPlayerCode(editor);
        auto end = std::chrono::steady_clock::now();
        selectedBytes = editor.SelectedText().size();
        editTimes.push_back(editor.editMs);
        if (editor.Text().find("kvmenu.js") != std::string::npos) {
            std::fprintf(stderr, "menu blocks were not removed\n");
            std::exit(1);
        }
        return Ms(end - start);
    });

    const CRegex script("<script", CRegex::Caseless);
    size_t found = 0;
    const double scanMs = MedianMs([&] {
        auto start = std::chrono::steady_clock::now();
        found = script.FindAll(text).size();
        auto end = std::chrono::steady_clock::now();
        return Ms(end - start);
    });

    std::sort(editTimes.begin(), editTimes.end());
    std::printf(
        "insert/scan: InsertPlayerCode %.2f ms (%.2f ms of it the string editor's own edits) on "
        "%.1f MB with %zu script blocks (body %zu bytes selected), JIT scan %.2f ms, ratio %.2f\n",
        insertMs, editTimes[editTimes.size() / 2], static_cast<double>(text.size()) / (1 << 20),
        found, selectedBytes, scanMs, insertMs / scanMs);
    return 0;
}
