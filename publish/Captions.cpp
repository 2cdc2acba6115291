// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/Captions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>
#include <uchardet.h>

#include "core/CFileDescriptor.h"
#include "core/CSiteFolder.h"
#include "core/CodePage.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

namespace {

class CCharsetDetector {
public:
    CCharsetDetector() : m_handle(uchardet_new()) {}
    ~CCharsetDetector() {
        if (m_handle) {
            uchardet_delete(m_handle);
        }
    }
    CCharsetDetector(const CCharsetDetector&) = delete;
    CCharsetDetector& operator=(const CCharsetDetector&) = delete;

    // The detected charset's iconv name; empty when the detector cannot tell.
    std::string Detect(std::string_view bytes) {
        if (!m_handle || uchardet_handle_data(m_handle, bytes.data(), bytes.size()) != 0) {
            return {};
        }
        uchardet_data_end(m_handle);
        const char* name = uchardet_get_charset(m_handle);
        return name ? name : "";
    }

private:
    uchardet_t m_handle;
};

// UTF-16 without a byte-order mark: text in a Latin script has a zero in every other byte.
const char* GuessUtf16(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0) {
        return nullptr;
    }
    size_t evenZeros = 0, oddZeros = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        evenZeros += bytes[i] == '\0';
        oddZeros += bytes[i + 1] == '\0';
    }
    const size_t pairs = bytes.size() / 2;
    if (oddZeros * 2 > pairs && evenZeros * 8 < pairs) {
        return "UTF-16LE";
    }
    if (evenZeros * 2 > pairs && oddZeros * 8 < pairs) {
        return "UTF-16BE";
    }
    return nullptr;
}

// The text's lines with their ends (LF, CRLF or CR) taken off.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

struct Timing {
    std::string start, end;  // WebVTT form
    std::string settings;
};

// One timestamp: "[h]h:mm:ss,mmm" or "mm:ss.mmm"; SubRip allows a comma and short fractions.
std::optional<std::string> ParseTime(std::string_view text, bool subRip) {
    const size_t mark = text.find_last_of(subRip ? ",." : ".");
    if (mark == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view fraction = text.substr(mark + 1);
    std::vector<std::string_view> parts;
    for (std::string_view rest = text.substr(0, mark);;) {
        const size_t colon = rest.find(':');
        parts.push_back(rest.substr(0, colon));
        if (colon == std::string_view::npos) {
            break;
        }
        rest = rest.substr(colon + 1);
    }
    if (parts.size() < 2 || parts.size() > 3 || !AllDigits(fraction) || fraction.size() > 3 ||
        (!subRip && fraction.size() != 3)) {
        return std::nullopt;
    }
    for (const auto part : parts) {
        if (!AllDigits(part)) {
            return std::nullopt;
        }
    }
    const std::string_view minutes = parts[parts.size() - 2];
    const std::string_view seconds = parts.back();
    if (minutes.size() > 2 || seconds.size() > 2 || std::stoi(std::string(minutes)) > 59 ||
        std::stoi(std::string(seconds)) > 59 ||
        (!subRip && (minutes.size() != 2 || seconds.size() != 2))) {
        return std::nullopt;
    }
    const std::string hours = parts.size() == 3 ? std::string(parts[0]) : "0";
    // "1,5" is a second and a half.
    const std::string millis = (std::string(fraction) + "000").substr(0, 3);
    return fmt::format("{:0>2}:{:0>2}:{:0>2}.{}", hours, minutes, seconds, millis);
}

struct TimingResult {
    std::optional<Timing> timing;
    std::string badTime;  // the part that is not a time, when the line is a time line
};

TimingResult ParseTimingLine(std::string_view line, bool subRip) {
    TimingResult result;
    const size_t arrow = line.find("-->");
    if (arrow == std::string_view::npos) {
        return result;
    }
    const std::string start = TrimWhiteSpace(line.substr(0, arrow));
    std::string rest = TrimWhiteSpace(line.substr(arrow + 3));
    const size_t blank = rest.find_first_of(" \t");
    const std::string end = rest.substr(0, blank);
    const std::string settings =
        blank == std::string::npos ? std::string() : TrimWhiteSpace(rest.substr(blank));
    const auto startTime = ParseTime(start, subRip);
    const auto endTime = ParseTime(end, subRip);
    if (!startTime || !endTime) {
        result.badTime = !startTime ? start : end;
        return result;
    }
    // SubRip's "X1:… Y2:…" box positions have no WebVTT equivalent.
    result.timing = Timing{*startTime, *endTime, subRip ? std::string() : settings};
    return result;
}

bool IsAllowedTag(std::string_view text) {
    static const char* const kTags[] = {"<i>", "</i>", "<b>", "</b>", "<u>", "</u>"};
    return std::ranges::any_of(kTags, [&](const char* tag) { return StartsWithNoCase(text, tag); });
}

// A SubRip text line as WebVTT cue text: italics, bold and underline stay, font tags go, and
// what WebVTT would read as markup or a time arrow is escaped.
std::string CueText(std::string_view line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '<') {
            const std::string_view rest = line.substr(i);
            if (IsAllowedTag(rest)) {
                const size_t close = rest.find('>');
                out += ToLowerAscii(rest.substr(0, close + 1));
                i += close;
                continue;
            }
            if (StartsWithNoCase(rest, "<font") || StartsWithNoCase(rest, "</font")) {
                const size_t close = rest.find('>');
                if (close != std::string_view::npos) {
                    i += close;
                    continue;
                }
            }
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            out += "&amp;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Refusal(std::string_view name, size_t line, const std::string& reason) {
    return fmt::sprintf(LoadStringRes(IDS_CAPTIONS_REFUSED), std::string(name),
                        static_cast<int>(line), reason);
}

std::string TimeProblem(const TimingResult& parsed) {
    return parsed.badTime.empty()
               ? LoadStringRes(IDS_CAPTIONS_NO_TIME_LINE)
               : fmt::sprintf(LoadStringRes(IDS_CAPTIONS_BAD_TIME), parsed.badTime);
}

bool IsWebVtt(std::string_view text) {
    return text.starts_with("WEBVTT") && (text.size() == 6 || text[6] == ' ' || text[6] == '\t' ||
                                          text[6] == '\n' || text[6] == '\r');
}

bool StartsBlock(std::string_view line, std::string_view word) {
    return line.starts_with(word) &&
           (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t');
}

// Checks the cue blocks of a WebVTT file; the problem names the first line that is wrong.
std::string CheckWebVtt(const std::vector<std::string_view>& lines, std::string_view name) {
    size_t i = 0;
    while (i < lines.size() && !IsBlank(lines[i])) {
        ++i;  // the header
    }
    while (i < lines.size()) {
        if (IsBlank(lines[i])) {
            ++i;
            continue;
        }
        const size_t first = i;
        size_t end = i;
        while (end < lines.size() && !IsBlank(lines[end])) {
            ++end;
        }
        i = end;
        if (StartsBlock(lines[first], "NOTE") || StartsBlock(lines[first], "STYLE") ||
            StartsBlock(lines[first], "REGION")) {
            continue;
        }
        // A cue may have an identifier line before its time line.
        size_t timingLine = lines[first].find("-->") != std::string_view::npos ? first : first + 1;
        const TimingResult parsed =
            timingLine < end ? ParseTimingLine(lines[timingLine], false) : TimingResult{};
        if (!parsed.timing) {
            timingLine = std::min(timingLine, end - 1);
            return Refusal(name, timingLine + 1, TimeProblem(parsed));
        }
    }
    return {};
}

CaptionsText SubRipToWebVtt(const std::vector<std::string_view>& lines, std::string_view name) {
    CaptionsText result;
    std::string out = "WEBVTT\n";
    size_t cues = 0;
    size_t i = 0;
    while (i < lines.size()) {
        if (IsBlank(lines[i])) {
            ++i;
            continue;
        }
        // The cue number is optional in practice.
        size_t timingLine = i;
        if (AllDigits(TrimWhiteSpace(lines[i])) && i + 1 < lines.size() &&
            lines[i + 1].find("-->") != std::string_view::npos) {
            timingLine = i + 1;
        } else if (AllDigits(TrimWhiteSpace(lines[i]))) {
            timingLine = i + 1 < lines.size() && !IsBlank(lines[i + 1]) ? i + 1 : i;
        }
        const TimingResult parsed = ParseTimingLine(lines[timingLine], true);
        if (!parsed.timing) {
            result.problem = Refusal(name, timingLine + 1, TimeProblem(parsed));
            return result;
        }
        out += "\n" + parsed.timing->start + " --> " + parsed.timing->end + "\n";
        i = timingLine + 1;
        for (; i < lines.size() && !IsBlank(lines[i]); ++i) {
            // Escaping ">" also keeps a time arrow out of the text, which WebVTT forbids.
            out += CueText(lines[i]) + "\n";
        }
        ++cues;
    }
    if (cues == 0) {
        result.problem = Refusal(name, 1, LoadStringRes(IDS_CAPTIONS_NO_CUES));
        return result;
    }
    result.webvtt = std::move(out);
    return result;
}

struct LanguageName {
    const char* tag;
    const char* name;
};

constexpr LanguageName kLanguageNames[] = {
    {"ar", "Arabic"},    {"cs", "Czech"},    {"da", "Danish"},     {"de", "German"},
    {"el", "Greek"},     {"en", "English"},  {"es", "Spanish"},    {"fi", "Finnish"},
    {"fr", "French"},    {"he", "Hebrew"},   {"hi", "Hindi"},      {"hu", "Hungarian"},
    {"it", "Italian"},   {"ja", "Japanese"}, {"ko", "Korean"},     {"nl", "Dutch"},
    {"no", "Norwegian"}, {"pl", "Polish"},   {"pt", "Portuguese"}, {"ro", "Romanian"},
    {"ru", "Russian"},   {"sv", "Swedish"},  {"tr", "Turkish"},    {"uk", "Ukrainian"},
    {"zh", "Chinese"},
};

}  // namespace

std::optional<std::string> CaptionsToUtf8(std::string_view bytes, std::string& charset) {
    struct Mark {
        std::string_view bytes;
        const char* charset;
    };
    // UTF-32 first: its little-endian mark begins with UTF-16's.
    static const Mark kMarks[] = {
        {std::string_view("\xFF\xFE\0\0", 4), "UTF-32LE"},
        {std::string_view("\0\0\xFE\xFF", 4), "UTF-32BE"},
        {"\xEF\xBB\xBF", "UTF-8"},
        {"\xFF\xFE", "UTF-16LE"},
        {"\xFE\xFF", "UTF-16BE"},
    };
    for (const Mark& mark : kMarks) {
        if (bytes.starts_with(mark.bytes)) {
            charset = mark.charset;
            return codepage::Convert(bytes.substr(mark.bytes.size()), mark.charset, "UTF-8");
        }
    }
    if (codepage::IsValidUtf8(bytes)) {
        charset = "UTF-8";
        return std::string(bytes);
    }
    if (const char* utf16 = GuessUtf16(bytes)) {
        charset = utf16;
        return codepage::Convert(bytes, utf16, "UTF-8");
    }
    charset = CCharsetDetector().Detect(bytes);
    // Bytes 0x80-0x9F are control characters in ISO-8859-1 that no text holds, but quotes,
    // dashes and the euro sign in windows-1252, which is what such a file is.
    if (StartsWithNoCase(charset, "ISO-8859-1") &&
        std::any_of(bytes.begin(), bytes.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte >= 0x80 && byte <= 0x9F;
        })) {
        charset = "WINDOWS-1252";
    }
    if (!charset.empty()) {
        if (auto text = codepage::Convert(bytes, charset.c_str(), "UTF-8")) {
            return text;
        }
    }
    // Most captions that are not Unicode were written on Windows in western Europe.
    if (auto text = codepage::Convert(bytes, "WINDOWS-1252", "UTF-8")) {
        charset = "WINDOWS-1252";
        return text;
    }
    if (charset.empty()) {
        charset = "unknown";
    }
    return std::nullopt;
}

CaptionsText ConvertCaptions(std::string_view bytes, std::string_view name) {
    CaptionsText result;
    std::string charset;
    const auto text = CaptionsToUtf8(bytes, charset);
    if (!text) {
        result.problem =
            fmt::sprintf(LoadStringRes(IDS_CAPTIONS_CHARSET), std::string(name), charset);
        return result;
    }
    const auto lines = SplitLines(*text);
    if (IsWebVtt(*text)) {
        result.problem = CheckWebVtt(lines, name);
        if (result.Ok()) {
            result.webvtt = *text;
        }
        return result;
    }
    return SubRipToWebVtt(lines, name);
}

CaptionsText ReadCaptions(const std::string& path) {
    CaptionsText result;
    auto failed = [&](int error) {
        result.problem = fmt::sprintf(LoadStringRes(IDS_CAPTIONS_READ_ERROR), path,
                                      GetErrorText(error ? error : EIO));
        return result;
    };
    // Not blocking: a FIFO would otherwise wait for a writer before anything can be checked.
    CFileDescriptor fd = OpenToRead(path, O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return failed(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        result.problem = fmt::sprintf(LoadStringRes(IDS_CAPTIONS_NOT_A_FILE), path);
        return result;
    }
    auto tooLarge = [&](uint64_t size) {
        result.problem = fmt::sprintf(LoadStringRes(IDS_CAPTIONS_TOO_LARGE), path,
                                      std::to_string(size), "10 MB");
        return result;
    };
    if (static_cast<uint64_t>(st.st_size) > kCaptionsMaxBytes) {
        return tooLarge(static_cast<uint64_t>(st.st_size));
    }
    // The file may grow while it is read: no more than the limit is ever held.
    const auto bytes = ReadUpTo(fd.get(), kCaptionsMaxBytes);
    if (bytes.error == EFBIG) {
        return tooLarge(kCaptionsMaxBytes + 1);
    }
    if (!bytes) {
        return failed(bytes.error);
    }
    return ConvertCaptions(bytes.value, path);
}

bool IsCaptionsLanguage(std::string_view language) {
    size_t part = 0;
    while (!language.empty()) {
        const size_t dash = language.find('-');
        const std::string_view sub = language.substr(0, dash);
        const bool alnum = std::all_of(sub.begin(), sub.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c));
        });
        const bool alpha = std::all_of(sub.begin(), sub.end(), [](char c) {
            return std::isalpha(static_cast<unsigned char>(c));
        });
        if (part == 0 ? !alpha || sub.size() < 2 || sub.size() > 3
                      : !alnum || sub.empty() || sub.size() > 8) {
            return false;
        }
        ++part;
        if (dash == std::string_view::npos) {
            return true;
        }
        language = language.substr(dash + 1);
        if (language.empty()) {
            return false;
        }
    }
    return false;
}

std::string CaptionsLabelFor(std::string_view language) {
    if (language.empty()) {
        return "Captions";
    }
    const std::string primary = ToLowerAscii(language.substr(0, language.find('-')));
    for (const LanguageName& row : kLanguageNames) {
        if (primary == row.tag) {
            return language.size() == primary.size()
                       ? std::string(row.name)
                       : fmt::format("{} ({})", row.name, language.substr(primary.size() + 1));
        }
    }
    return std::string(language);
}

std::vector<CaptionsBeside> FindCaptionsBeside(const std::string& mediaPath) {
    const std::string folder = GetPathFolder(mediaPath);
    const std::string title = GetPathFileTitle(mediaPath);
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<CaptionsBeside> found;
    std::set<std::string> languages;
    // WebVTT first, so that it is the one kept when both kinds are there.
    for (const char* extension : {".vtt", ".srt"}) {
        for (const std::string& name : names) {
            if (!EqualsNoCase(GetPathExtension(name), extension) || !name.starts_with(title) ||
                name.size() <= title.size() || name[title.size()] != '.') {
                continue;
            }
            // "<title>.vtt" or "<title>.<language>.vtt".
            std::string language;
            if (name.size() > title.size() + 5) {
                language = name.substr(title.size() + 1, name.size() - title.size() - 5);
                if (!IsCaptionsLanguage(language)) {
                    continue;
                }
            } else if (name.size() != title.size() + 4) {
                continue;
            }
            const std::string path = CombinePath(folder, name);
            if (!IsRegularFile(path) || !languages.insert(ToLowerAscii(language)).second) {
                continue;
            }
            found.push_back({path, language});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.language.empty() != b.language.empty()
                   ? a.language.empty()
                   : ToLowerAscii(a.language) < ToLowerAscii(b.language);
    });
    return found;
}

std::vector<std::string> CaptionsFileNames(std::string_view mediaTitle,
                                           const std::vector<std::string>& languages) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const std::string& language : languages) {
        const std::string stem = std::string(mediaTitle) + (language.empty() ? "" : "." + language);
        std::string name = stem + ".vtt";
        for (int n = 2; !taken.insert(ToLowerAscii(name)).second; ++n) {
            name = fmt::format("{}.{}.vtt", stem, n);
        }
        names.push_back(name);
    }
    return names;
}
