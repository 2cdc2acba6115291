// SPDX-License-Identifier: GPL-3.0-or-later
// Media and page names that mean something in markup, URLs, shells or the player templates,
// published with every player through the built publisher: each is published (or refused with
// a message), the markup has the shape it has for a plain name, and every location written into
// the page leads to the file that was copied into the site.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CodePage.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "tests/faults/FaultSite.h"
#include "tests/faults/MarkupShape.h"

namespace faults {
namespace {

struct HostileName {
    const char* what;
    std::string name;
};

const std::vector<HostileName>& Names() {
    static const std::vector<HostileName> names = {
        {"quotes", "Tom's \"clip\""},
        {"markup", "<img src=x onerror=alert(1)>"},
        {"ampersand, hash, percent, question mark", "R&B #1 50% off?"},
        {"character reference", "a&amp;b&#60;"},
        {"backslash", "back\\slash"},
        {"line break", "line\nbreak"},
        {"leading dash", "-rf"},
        {"macros of the player templates", "$(controls) $(media_path)"},
        {"what reads as a URL scheme", "Part:2"},
        {"invalid UTF-8", "caf\xE9 \xFF"},
        {"255 bytes with the extension", std::string(251, 'n')},
    };
    return names;
}

constexpr const char* kPlayers[] = {"default", "youtube", "mediaelement", "leanback", "projekktor"};

std::string PercentDecoded(const std::string& url) {
    std::string out;
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            out += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += url[i];
        }
    }
    return out;
}

// The text an attribute value stands for.
std::string EntitiesDecoded(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const size_t end = value.find(';', i);
        if (value[i] != '&' || end == std::string::npos) {
            out += value[i];
            continue;
        }
        const std::string entity = value.substr(i + 1, end - i - 1);
        unsigned code = 0;
        if (entity == "quot") {
            code = '"';
        } else if (entity == "lt") {
            code = '<';
        } else if (entity == "gt") {
            code = '>';
        } else if (entity == "amp") {
            code = '&';
        } else if (entity.starts_with("#")) {
            code = static_cast<unsigned>(std::stoul(entity.substr(1)));
        } else {
            out += value[i];
            continue;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        i = end;
    }
    return out;
}

bool HasScheme(const std::string& url) {
    static const CRegex scheme("^[A-Za-z][A-Za-z0-9+.-]*:");
    return scheme.Search(url);
}

class HostileNames : public FaultTest {
protected:
    // Publishes the movie under `mediaName` into a fresh page; returns the page's text.
    std::string PublishAs(const std::string& mediaName, const std::string& player,
                          const std::string& pageName, std::string* mediaCopy = nullptr) {
        const std::string media =
            env.sandbox.Write("media/" + std::to_string(++m_nRuns) + "/" + mediaName,
                              test::ReadFile(SampleMedia("movie.mp4")));
        const std::string page = env.sandbox.Write("site/news/" + pageName, kPage);
        RunResult r = Publish(
            Site({"--player", player, "--poster", "--overwrite", "yes", "--", media, page}));
        EXPECT_EQ(r.status, 0) << r.err;
        if (mediaCopy) {
            *mediaCopy = site + "/medias/" + mediaName;
        }
        return test::ReadFile(page);
    }

    int m_nRuns = 0;
};

TEST_F(HostileNames, MediaNamesPublishWithEveryPlayerAndInjectNothing) {
    for (const char* player : kPlayers) {
        const std::string plain = PublishAs("clip.mp4", player, "plain.htm");
        for (const HostileName& row : Names()) {
            SCOPED_TRACE(std::string(player) + ", " + row.what);
            std::string copy;
            const std::string page = PublishAs(row.name + ".mp4", player, "page.htm", &copy);
            ASSERT_EQ(test::ReadFile(copy), test::ReadFile(SampleMedia("movie.mp4")));
            EXPECT_EQ(markup::Shape(page), markup::Shape(plain)) << page;

            int sources = 0;
            for (const markup::Tag& tag : markup::Tokenize(page).tags) {
                for (const markup::Attribute& a : tag.attributes) {
                    if ((tag.name == "source" && a.name == "src") ||
                        (tag.name == "video" && a.name == "poster")) {
                        // Every location leads from the page to the file copied for it.
                        EXPECT_FALSE(HasScheme(a.value)) << a.value;
                        const std::string file =
                            CombinePath(site + "/news", PercentDecoded(a.value));
                        if (a.name == "src") {
                            ++sources;
                            EXPECT_EQ(file, copy) << a.value;
                        } else {
                            EXPECT_EQ(GetPathFileName(file), row.name + ".jpg") << a.value;
                            EXPECT_TRUE(test::ReadFile(file).starts_with("\xFF\xD8")) << file;
                        }
                    }
                    if (a.name == "data-setup") {
                        // Fitted players carry no media path there (the players' tests do).
                        EXPECT_EQ(a.value, "{}");
                    }
                    // "&" is written as it is, so a name with a character reference in it
                    // reads as that character.
                    if (a.name == "title" && codepage::IsValidUtf8(row.name) &&
                        row.name.find('&') == std::string::npos) {
                        EXPECT_EQ(EntitiesDecoded(a.value), row.name) << a.value;
                    }
                }
            }
            EXPECT_EQ(sources, 1) << page;
        }
    }
}

TEST_F(HostileNames, NameBesideThePageDoesNotReadAsAUrlScheme) {
    // With the media folder the page's own, the location is the bare name.
    const std::string media =
        env.sandbox.Write("media/Part:2.mp4", test::ReadFile(SampleMedia("movie.mp4")));
    RunResult r = Publish({"--site-root", site, "--js-path", "/js/", "--media-path", "/",
                           "--player", "mediaelement", media, index});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = test::ReadFile(index);
    EXPECT_NE(page.find("<source src=\"Part%3A2.mp4\" type=\"video/mp4\"/>"), std::string::npos)
        << page;
    EXPECT_TRUE(IsRegularFile(site + "/Part:2.mp4"));
}

TEST_F(HostileNames, LeadingDashIsAnOptionUnlessTheArgumentsEndFirst) {
    const std::string folder = env.sandbox.MakeFolder("media/dash");
    env.sandbox.Write("media/dash/-rf.mp4", test::ReadFile(SampleMedia("movie.mp4")));
    RunOptions inFolder;
    inFolder.workingFolder = folder;
    RunResult refused = Publish(Site({"-rf.mp4", index}), inFolder);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("unknown option -rf.mp4"), std::string::npos) << refused.err;
    EXPECT_FALSE(PathExists(site + "/medias"));
    for (const std::vector<std::string>& media :
         {std::vector<std::string>{"--", "-rf.mp4"}, std::vector<std::string>{"./-rf.mp4"}}) {
        std::vector<std::string> args = media;
        args.push_back(index);
        RunResult r = Publish(Site(args), inFolder);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(test::ReadFile(index).find("src=\"medias/-rf.mp4\""), std::string::npos);
    }
}

TEST_F(HostileNames, PageNamesPublish) {
    const std::vector<HostileName> pages = {
        {"markup and quotes", "<b>\"it's\" & #1?.htm"},
        {"line break", "news\n.htm"},
        {"leading dash", "-page.htm"},
        {"invalid UTF-8", "caf\xE9.htm"},
        {"255 bytes", std::string(251, 'p') + ".htm"},
    };
    for (const HostileName& row : pages) {
        SCOPED_TRACE(row.what);
        std::string copy;
        const std::string page = PublishAs("clip.mp4", "mediaelement", row.name, &copy);
        EXPECT_NE(page.find("<source src=\"../medias/clip.mp4\""), std::string::npos) << page;
        EXPECT_NE(page.find("<script src=\"../js/mediaelement/jquery.js\"></script>"),
                  std::string::npos);
        for (const auto& entry : std::filesystem::directory_iterator(site + "/news")) {
            EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary page is left";
        }
    }
}

}  // namespace
}  // namespace faults
