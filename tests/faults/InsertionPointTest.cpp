// SPDX-License-Identifier: GPL-3.0-or-later
// A marker that a page made by someone else carries where a browser would not show the player:
// the publisher refuses the page and names the place, unless told to put the player there.
#include <string>
#include <vector>

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include "core/StringTable.h"
#include "tests/faults/FaultSite.h"

namespace faults {
namespace {

// A page as a site generator writes it: old-browser comments, inline data and a tracking script,
// a form, and a slot for the player in each of the places the tests choose.
std::string ThirdPartyPage(const std::string& slot) {
    return "<!DOCTYPE html>\n"
           "<html lang=\"en\">\n"
           "<head>\n"
           "<meta charset=\"utf-8\">\n"
           "<title>Our summer trip</title>\n"
           "<link rel=\"stylesheet\" href=\"/theme/style.css?v=3\">\n"
           "<!--[if lt IE 9]><script src=\"/theme/html5shiv.js\"></script><![endif]-->\n"
           "<script type=\"application/ld+json\">{\"@type\": \"Article\", \"name\": \"trip\"}"
           "</script>\n"
           "</head>\n"
           "<body class=\"post-template\">\n"
           "<nav><a href=\"/\">Home</a> | <a href=\"/blog/\">Blog</a></nav>\n"
           "<article>\n"
           "<h1>Our summer trip</h1>\n"
           "<p>Here is the film we made.</p>\n" +
           slot +
           "\n<p>Comments are welcome.</p>\n"
           "<form action=\"/comment\"><textarea name=\"c\">Write here</textarea></form>\n"
           "</article>\n"
           "<script>(function(){var t=document.createElement('img');t.src='/t.gif';})();"
           "</script>\n"
           "</body>\n"
           "</html>\n";
}

class InsertionPoint : public FaultTest {
protected:
    std::string Put(const std::string& slot) {
        return env.sandbox.Write("site/trip.htm", ThirdPartyPage(slot));
    }
    // The code the publisher makes for the page.
    void CodeFor(const std::string& page, std::string& head, std::string& body) {
        const RunResult r =
            Publish(Site({"--print", "--no-poster", SampleMedia("song.mp3"), page}));
        ASSERT_EQ(r.status, 0) << r.err;
        const size_t split = r.out.find("\n----\n");
        ASSERT_NE(split, std::string::npos) << r.out;
        head = r.out.substr(0, split);
        body = r.out.substr(split + 6, r.out.size() - split - 7);
    }
};

TEST_F(InsertionPoint, AMarkerWherePlayersDoNotShowRefusesThePage) {
    const auto said = [](int id, const char* element) {
        return fmt::sprintf(LoadStringRes(id), element);
    };
    const std::vector<std::string> at = {"--at", "HERE"};
    const int foreign = IDS_INSERT_IN_FOREIGN, list = IDS_INSERT_IN_LIST,
              fallback = IDS_INSERT_IN_FALLBACK;
    const struct {
        const char* name;
        std::string page;
        std::vector<std::string> where;
        std::string said;
        int line;
    } rows[] = {
        {"inside a comment",
         ThirdPartyPage("<!-- AUDIO HERE -->"),
         {"--at", "AUDIO HERE"},
         LoadStringRes(IDS_INSERT_IN_COMMENT),
         15},
        {"inside an attribute of a tag",
         ThirdPartyPage("<div class=\"slot\" data-note=\"AUDIO HERE\"></div>"),
         {"--after", "AUDIO HERE"},
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_ATTRIBUTE), "data-note", "div"),
         15},
        {"inside a script",
         ThirdPartyPage("<script>var slot = 'AUDIO HERE';</script>"),
         {"--at", "AUDIO HERE"},
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_HIDDEN), "script"),
         15},
        {"inside the head",
         ThirdPartyPage("<p>Audio below</p>"),
         {"--after", "<title>"},
         LoadStringRes(IDS_INSERT_IN_HEAD),
         5},
        {"inside a textarea",
         ThirdPartyPage("<p>x</p>"),
         {"--at", "Write here"},
         fmt::sprintf(LoadStringRes(IDS_INSERT_IN_HIDDEN), "textarea"),
         17},
        {"svg text", ThirdPartyPage("<svg><text>HERE</text></svg>"), at, said(foreign, "svg"), 15},
        {"svg CDATA in a description", ThirdPartyPage("<svg><desc><![CDATA[ HERE ]]></desc></svg>"),
         at, said(foreign, "svg"), 15},
        {"formula", ThirdPartyPage("<math><mi>HERE</mi></math>"), at, said(foreign, "math"), 15},
        {"option", ThirdPartyPage("<select><option>HERE</select>"), at, said(list, "option"), 15},
        {"optgroup", ThirdPartyPage("<optgroup>HERE</optgroup>"), at, said(list, "optgroup"), 15},
        {"data list", ThirdPartyPage("<datalist>HERE</datalist>"), at, said(list, "datalist"), 15},
        {"canvas", ThirdPartyPage("<canvas>HERE</canvas>"), at, said(fallback, "canvas"), 15},
        {"object's fallback", ThirdPartyPage("<object data=a.swf>HERE</object>"), at,
         said(fallback, "object"), 15},
        {"frameset page",
         "<html><frameset><frame src=a.htm></frameset>",
         {},
         LoadStringRes(IDS_INSERT_IN_FRAMESET),
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string page = env.sandbox.Write("site/trip.htm", row.page);
        std::vector<std::string> args = row.where;
        args.insert(args.end(), {"--no-poster", SampleMedia("song.mp3"), page});
        const RunResult refused = Publish(Site(args));
        EXPECT_EQ(refused.status, 3) << refused.err;
        EXPECT_NE(refused.err.find(fmt::sprintf(LoadStringRes(IDS_INSERT_POINT_REFUSED), page,
                                                row.said, row.line)),
                  std::string::npos)
            << refused.err;
        EXPECT_EQ(test::ReadFile(page), row.page) << "left as it is";

        // Forced, the player goes where it was told, as it did before there was a check.
        args.insert(args.begin(), "--force");
        const RunResult forced = Publish(Site(args));
        EXPECT_EQ(forced.status, 0) << forced.err;
        EXPECT_EQ(Count(test::ReadFile(page), "<audio"), 1u);
    }
}

TEST_F(InsertionPoint, AMarkerInThePageItselfPublishesAsBefore) {
    for (const std::string slot : {"<p>AUDIO HERE</p>", "<!-- AUDIO HERE -->"}) {
        SCOPED_TRACE(slot);
        const std::string page = Put(slot);
        std::string head, body;
        CodeFor(page, head, body);
        // Where the marker is plain text, or the whole comment is the marker.
        const std::string marker = slot.starts_with("<p>") ? "AUDIO HERE" : slot;
        const RunResult r =
            Publish(Site({"--at", marker, "--no-poster", SampleMedia("song.mp3"), page}));
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected = ThirdPartyPage(slot);
        expected.replace(expected.find(marker), marker.size(), body);
        expected.insert(expected.find("</head>"), head);
        EXPECT_EQ(test::ReadFile(page), expected);
    }
}

TEST_F(InsertionPoint, WithoutAMarkerThePlayerGoesIntoTheBodyEvenWhereTheFirstBodyTagIsNone) {
    const std::string page = env.sandbox.Write(
        "site/template.htm",
        "<html>\n<head>\n<!-- scripts go before <body> -->\n<title>T</title>\n</head>\n"
        "<body>\n<p>text</p>\n</body>\n</html>\n");
    const RunResult r = Publish(Site({"--no-poster", SampleMedia("song.mp3"), page}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string published = test::ReadFile(page);
    EXPECT_NE(published.find("<!-- scripts go before <body> -->"), std::string::npos)
        << "the comment is whole";
    EXPECT_NE(published.find("</head>\n<body><audio"), std::string::npos) << published;
}

}  // namespace
}  // namespace faults
