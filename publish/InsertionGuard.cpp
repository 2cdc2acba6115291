// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/InsertionGuard.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include <gumbo.h>
#include <strings.h>

#include <fmt/printf.h>

#include "core/CodePage.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "core/StringTable.h"

namespace {

using codepage::CIconv;

// The page text as UTF-8, which is all the tokenizer reads, and the way back from its offsets
// to the text's. Between two anchors every character has as many bytes in both.
class CUtf8Text {
public:
    CUtf8Text(std::string_view text, const std::string& encoding) : m_text(text) {
        const bool utf8 =
            strcasecmp(encoding.c_str(), "UTF-8") == 0 || strcasecmp(encoding.c_str(), "UTF8") == 0;
        // Browsers take the signature off before they parse; the tokenizer would read it as
        // text, which starts the body.
        if (utf8 && text.starts_with("\xEF\xBB\xBF")) {
            m_nSkip = 3;
            m_anchors.push_back({0, m_nSkip});
        }
        if (utf8 && codepage::IsValidUtf8(text)) {
            m_utf8 = text.substr(m_nSkip);
            return;
        }
        CIconv decoder(encoding.c_str(), "UTF-8");
        if (decoder.IsValid()) {
            Decode(decoder);
        } else {
            CIconv latin1("ISO-8859-1", "UTF-8");
            Decode(latin1);
        }
        m_utf8 = m_converted;
    }

    std::string_view Utf8() const { return m_utf8; }

    size_t ToText(size_t utf8Offset) const {
        return Map(utf8Offset, &Anchor::utf8, &Anchor::text, m_text.size());
    }
    size_t ToUtf8(size_t textOffset) const {
        return Map(textOffset, &Anchor::text, &Anchor::utf8, m_utf8.size());
    }

private:
    struct Anchor {
        size_t utf8 = 0;
        size_t text = 0;
    };

    size_t Map(size_t offset, size_t Anchor::*from, size_t Anchor::*to, size_t limit) const {
        auto it =
            std::upper_bound(m_anchors.begin(), m_anchors.end(), offset,
                             [from](size_t value, const Anchor& a) { return value < a.*from; });
        const Anchor base = it == m_anchors.begin() ? Anchor() : *std::prev(it);
        size_t mapped = base.*to + (offset - base.*from);
        // An offset inside a character that is shorter on the other side (the signature that
        // was taken off, four bytes of GB18030 that are three of UTF-8) stays inside it, so that
        // it lies in no construct that starts after the character.
        if (it != m_anchors.end() && mapped >= (*it).*to) {
            mapped = std::max((*it).*to, base.*to + 1) - 1;
        }
        return std::min(mapped, limit);
    }

    // ASCII bytes that stand for themselves, read without the converter; none at all in an
    // encoding with shift states (ISO-2022, UTF-7, HZ), where one byte alone is no character.
    static std::array<bool, 128> PlainAscii(CIconv& decoder) {
        std::array<bool, 128> plain{};
        std::string out;
        for (int b = 1; b < 128; ++b) {
            const char byte = static_cast<char>(b);
            decoder.ResetState();
            if (!decoder.Convert(std::string_view(&byte, 1), out)) {
                if (errno == EINVAL) {
                    return {};
                }
                continue;
            }
            plain[static_cast<size_t>(b)] = out.size() == 1 && out[0] == byte;
        }
        decoder.ResetState();
        return plain;
    }

    void Decode(CIconv& decoder) {
        const std::array<bool, 128> plain = PlainAscii(decoder);
        m_converted.reserve(m_text.size() + m_text.size() / 4);
        std::string out;
        size_t pos = m_nSkip;
        while (pos < m_text.size()) {
            const auto byte = static_cast<unsigned char>(m_text[pos]);
            if (byte < 128 && plain[byte]) {
                m_converted.push_back(static_cast<char>(byte));
                ++pos;
                continue;
            }
            // The shortest run of bytes that makes a character (an escape sequence makes none).
            size_t length = 1;
            bool done = false;
            for (; length <= 8 && pos + length <= m_text.size(); ++length) {
                if (decoder.Convert(m_text.substr(pos, length), out)) {
                    done = true;
                    break;
                }
                if (errno != EINVAL) {
                    break;
                }
            }
            if (!done) {
                decoder.ResetState();
                out = "\xEF\xBF\xBD";
                length = 1;
            }
            m_converted += out;
            pos += length;
            if (out.size() != length) {
                m_anchors.push_back({m_converted.size(), pos});
            }
        }
    }

    std::string_view m_text;
    size_t m_nSkip = 0;
    std::string_view m_utf8;
    std::string m_converted;
    std::vector<Anchor> m_anchors;
};

std::string PageOwnEncoding(std::string_view text) {
    static const CRegex declared("<meta[^>]*?charset\\s*=\\s*[\"']?\\s*([a-z0-9_.:-]+)",
                                 CRegex::Caseless);
    CRegex::Match match;
    if (declared.Search(text, &match) && !match.groups.empty() &&
        match.groups[0].first != std::string_view::npos) {
        const std::string name =
            ToLowerAscii(std::string(text.substr(match.groups[0].first, match.groups[0].second)));
        // A two- or four-byte encoding cannot describe text that was not converted from it.
        const bool wide =
            name.find("16") != std::string::npos || name.find("32") != std::string::npos ||
            name.find("ucs") != std::string::npos || name.find("unicode") != std::string::npos;
        if (!wide && CIconv(name.c_str(), "UTF-8").IsValid()) {
            return name;
        }
    }
    return codepage::IsValidUtf8(text) ? "UTF-8" : "ISO-8859-1";
}

struct GumboOutputDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

bool IsHtml(const GumboElement& element) {
    return element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

// Elements whose content the browser never shows as part of the page: text-only elements, and
// those whose children are inert or for browsers without scripts.
bool HidesContent(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_PLAINTEXT:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
            return true;
        default:
            return false;
    }
}

// Elements whose content is no place for a player: drawn in another language, offered as a
// list's text, or shown only where the element itself cannot be.
bool ShowsNoPlayer(const GumboElement& element) {
    switch (element.tag) {
        case GUMBO_TAG_SVG:
        case GUMBO_TAG_MATH:
            return true;
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_OPTION:
        case GUMBO_TAG_OPTGROUP:
        case GUMBO_TAG_DATALIST:
        case GUMBO_TAG_CANVAS:
        case GUMBO_TAG_OBJECT:
            return IsHtml(element);
        default:
            return false;
    }
}

std::string TagName(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_UNKNOWN) {
        return gumbo_normalized_tagname(element.tag);
    }
    GumboStringPiece name = element.original_tag;
    gumbo_tag_from_original_text(&name);
    return ToLowerAscii(std::string(name.data ? name.data : "", name.length));
}

// A construct, in UTF-8 offsets.
struct Found {
    InsertionConstruct construct = InsertionConstruct::None;
    size_t start = 0;
    size_t end = 0;
    const GumboElement* element = nullptr;
    const GumboAttribute* attribute = nullptr;
};

// The parsed page; offsets in and out are the tokenizer's (UTF-8).
class CPageStructure {
public:
    explicit CPageStructure(std::string_view utf8) : m_parsed(std::string(utf8).append(kProbe)) {
        GumboOptions options = kGumboDefaultOptions;
        // Errors are not reported to anyone; recording them costs memory on broken pages.
        options.max_errors = 0;
        m_output.reset(gumbo_parse_with_options(&options, m_parsed.data(), m_parsed.size()));
        if (m_output) {
            FindHeadEnd();
        }
    }

    // Every construct strictly around `offset`, outermost first where nested.
    std::vector<Found> Around(size_t offset) const {
        std::vector<Found> found;
        if (!m_output) {
            return found;
        }
        if (offset < m_nHeadEnd) {
            found.push_back({InsertionConstruct::Head, 0, m_nHeadEnd});
        }
        // A frameset takes the place of the body: nothing else of the page is shown.
        if (m_pFrameset) {
            found.push_back({InsertionConstruct::NotShown, 0, m_parsed.size(), m_pFrameset});
        }
        std::vector<const GumboNode*> pending = {m_output->document};
        while (!pending.empty()) {
            const GumboNode* node = pending.back();
            pending.pop_back();
            const GumboVector* children = nullptr;
            switch (node->type) {
                case GUMBO_NODE_DOCUMENT:
                    children = &node->v.document.children;
                    break;
                case GUMBO_NODE_ELEMENT:
                case GUMBO_NODE_TEMPLATE:
                    Element(node->v.element, offset, found);
                    children = &node->v.element.children;
                    break;
                case GUMBO_NODE_COMMENT: {
                    const GumboText& comment = node->v.text;
                    const size_t start = comment.start_pos.offset;
                    if (Inside(offset, start, start + comment.original_text.length)) {
                        found.push_back({InsertionConstruct::Comment, start,
                                         start + comment.original_text.length});
                    }
                    break;
                }
                default:
                    break;
            }
            if (children) {
                for (unsigned i = children->length; i-- > 0;) {
                    pending.push_back(static_cast<const GumboNode*>(children->data[i]));
                }
            }
        }
        return found;
    }

private:
    // A page may end inside a tag, which the parser then drops, or inside a comment or a
    // script: code put at its end would join them. These bytes end any tag and run on any
    // comment or raw text, so that such a construct ends after the text, which it then holds.
    static constexpr std::string_view kProbe = "\"'>";

    static bool Inside(size_t offset, size_t start, size_t end) {
        return start < offset && offset < end;
    }

    void Element(const GumboElement& element, size_t offset, std::vector<Found>& found) const {
        const size_t start = element.start_pos.offset;
        const size_t tagEnd = start + element.original_tag.length;
        const size_t endTag = element.end_pos.offset;
        const size_t end = std::min(endTag + element.original_end_tag.length, m_parsed.size());
        if (element.original_tag.length > 0 && IsHtml(element) &&
            (HidesContent(element.tag) || element.tag == GUMBO_TAG_VIDEO ||
             element.tag == GUMBO_TAG_AUDIO) &&
            Inside(offset, start, end)) {
            found.push_back({HidesContent(element.tag) ? InsertionConstruct::RawText
                                                       : InsertionConstruct::MediaElement,
                             start, end, &element});
        }
        if (element.original_tag.length > 0 && ShowsNoPlayer(element) &&
            Inside(offset, start, end)) {
            found.push_back({InsertionConstruct::NotShown, start, end, &element});
        }
        if (element.original_tag.length > 0 && Inside(offset, start, tagEnd)) {
            Found tag{InsertionConstruct::Tag, start, tagEnd, &element};
            for (unsigned i = 0; i < element.attributes.length; ++i) {
                const auto* attribute =
                    static_cast<const GumboAttribute*>(element.attributes.data[i]);
                const size_t attributeEnd = attribute->original_value.length > 0
                                                ? attribute->value_end.offset
                                                : attribute->name_end.offset;
                if (Inside(offset, attribute->name_start.offset, attributeEnd)) {
                    tag.attribute = attribute;
                }
            }
            found.push_back(tag);
        }
        if (element.original_end_tag.length > 0 && Inside(offset, endTag, end)) {
            found.push_back({InsertionConstruct::Tag, endTag, end, &element});
        }
    }

    // Before the body: up to the end of its start tag where the page has one; else up to where
    // the tokens before the body end (the doctype, the html tag, the head and its content).
    void FindHeadEnd() {
        const GumboNode* html = nullptr;
        const GumboDocument& document = m_output->document->v.document;
        for (unsigned i = 0; i < document.children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(document.children.data[i]);
            if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_HTML) {
                html = child;
            }
        }
        if (!html) {
            return;
        }
        const GumboNode* head = nullptr;
        const GumboNode* body = nullptr;
        for (unsigned i = 0; i < html->v.element.children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(html->v.element.children.data[i]);
            if (child->type != GUMBO_NODE_ELEMENT) {
                continue;
            }
            if (child->v.element.tag == GUMBO_TAG_HEAD && !head) {
                head = child;
            } else if (child->v.element.tag == GUMBO_TAG_BODY && !body) {
                body = child;
            } else if (child->v.element.tag == GUMBO_TAG_FRAMESET && !m_pFrameset) {
                m_pFrameset = &child->v.element;
            }
        }
        if (!body) {
            return;
        }
        const GumboElement& bodyElement = body->v.element;
        if (bodyElement.original_tag.length > 0) {
            m_nHeadEnd = bodyElement.start_pos.offset + bodyElement.original_tag.length;
            return;
        }
        size_t end = 0;
        auto extend = [&end](const GumboElement& element) {
            if (element.original_tag.length > 0) {
                end = std::max<size_t>(end, element.start_pos.offset + element.original_tag.length);
            }
            if (element.original_end_tag.length > 0) {
                end =
                    std::max<size_t>(end, element.end_pos.offset + element.original_end_tag.length);
            }
        };
        extend(html->v.element);
        if (head) {
            extend(head->v.element);
            for (unsigned i = 0; i < head->v.element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(head->v.element.children.data[i]);
                if (child->type == GUMBO_NODE_ELEMENT) {
                    extend(child->v.element);
                } else if (child->type == GUMBO_NODE_COMMENT || child->type == GUMBO_NODE_TEXT) {
                    end = std::max<size_t>(
                        end, child->v.text.start_pos.offset + child->v.text.original_text.length);
                }
            }
        }
        // The doctype has no position of its own; whatever follows it starts the body.
        if (document.has_doctype) {
            end = std::max<size_t>(end, bodyElement.start_pos.offset);
        }
        m_nHeadEnd = std::min(end, m_parsed.size());
    }

    std::string m_parsed;
    std::unique_ptr<GumboOutput, GumboOutputDeleter> m_output;
    size_t m_nHeadEnd = 0;
    const GumboElement* m_pFrameset = nullptr;
};

// Of the constructs around one offset: the furthest end, and of those ending there the
// innermost, which names the place best (the body tag rather than "before the body").
std::optional<Found> Outermost(const std::vector<Found>& found) {
    std::optional<Found> best;
    for (const Found& f : found) {
        if (!best || f.end > best->end || (f.end == best->end && f.start >= best->start)) {
            best = f;
        }
    }
    return best;
}

}  // namespace

InsertionCheck CheckInsertionPoint(std::string_view text, size_t selStart, size_t selEnd,
                                   const std::string& encoding) {
    InsertionCheck check;
    selStart = std::min(selStart, text.size());
    selEnd = std::clamp(selEnd, selStart, text.size());
    const CUtf8Text utf8(text, encoding.empty() ? PageOwnEncoding(text) : encoding);
    const CPageStructure page(utf8.Utf8());

    std::optional<Found> found = Outermost(page.Around(utf8.ToUtf8(selStart)));
    if (!found && selEnd > selStart) {
        found = Outermost(page.Around(utf8.ToUtf8(selEnd)));
    }
    if (!found) {
        return check;
    }
    const size_t textEnd = utf8.Utf8().size();
    check.construct = found->construct;
    check.start = utf8.ToText(found->start);
    check.end = utf8.ToText(std::min(found->end, textEnd));
    if (found->element) {
        check.element = TagName(*found->element);
    }
    if (found->attribute) {
        check.attribute = found->attribute->name;
    }
    // The end of one construct may lie inside another that did not hold the cursor (an
    // element closed by the end of a broken one); each step moves forward.
    size_t safe = found->end;
    while (std::optional<Found> next = Outermost(page.Around(safe))) {
        if (next->end <= safe) {
            break;
        }
        safe = next->end;
    }
    check.openToEnd = safe > textEnd;
    check.safeOffset = utf8.ToText(std::min(safe, textEnd));
    return check;
}

std::string DescribeInsertionPoint(const InsertionCheck& check) {
    switch (check.construct) {
        case InsertionConstruct::None:
            break;
        case InsertionConstruct::Comment:
            return LoadStringRes(IDS_INSERT_IN_COMMENT);
        case InsertionConstruct::Tag:
            if (!check.attribute.empty()) {
                return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_ATTRIBUTE), check.attribute,
                                    check.element);
            }
            return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_TAG), check.element);
        case InsertionConstruct::RawText:
            return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_HIDDEN), check.element);
        case InsertionConstruct::Head:
            return LoadStringRes(IDS_INSERT_IN_HEAD);
        case InsertionConstruct::MediaElement:
            return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_MEDIA), check.element);
        case InsertionConstruct::NotShown:
            if (check.element == "frameset") {
                return LoadStringRes(IDS_INSERT_IN_FRAMESET);
            }
            if (check.element == "svg" || check.element == "math") {
                return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_FOREIGN), check.element);
            }
            if (check.element == "canvas" || check.element == "object") {
                return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_FALLBACK), check.element);
            }
            return fmt::sprintf(LoadStringRes(IDS_INSERT_IN_LIST), check.element);
    }
    return {};
}

size_t LineAtOffset(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}
