// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/PublishRun.h"

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/Regex.h"
#include "core/StringTable.h"
#include "publish/CHtmlPage.h"
#include "publish/CPublishJob.h"
#include "publish/CStringPageEditor.h"
#include "publish/SiteLayout.h"

CRunFolder::CRunFolder() : m_strPath(MakePrivateTempFolder("publish-", m_strProblem)) {}

CRunFolder::~CRunFolder() {
    if (!m_strPath.empty()) {
        DeleteFolder(m_strPath);
    }
}

std::string AbsolutePath(const std::string& path) {
    if (path.starts_with("/")) {
        return CombinePath(path, "");
    }
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? CombinePath(cwd, path) : path;
}

bool CPageSet::Add(const std::string& path) {
    const std::string canonical = RealPath(path).value_or(path);
    struct stat st {};
    const bool seenFile =
        ::stat(path.c_str(), &st) == 0 && !m_files.insert({st.st_dev, st.st_ino}).second;
    return m_paths.insert(canonical).second && !seenFile;
}

std::optional<std::pair<size_t, size_t>> FindInsertionRange(const PagePlacement& placement,
                                                            const std::string& text) {
    if (!placement.at && !placement.after) {
        static const CRegex body("<body\\b[^>]*>", CRegex::Caseless);
        CRegex::Match m;
        const size_t at = body.Search(text, &m) ? m.offset + m.length : 0;
        return std::pair{at, at};
    }
    const std::string& needle = placement.at ? *placement.at : *placement.after;
    const size_t hit = text.find(needle);
    if (hit == std::string::npos) {
        return std::nullopt;
    }
    return std::pair{placement.at ? hit : hit + needle.size(), hit + needle.size()};
}

PageSkip OpenRunPage(CPublishJob& job, CPageSet& pages, CHtmlPage& page, const std::string& path,
                     bool again) {
    if (!job.Site().CheckPageLocation(path, true)) {
        return PageSkip::Refused;
    }
    if (!pages.Add(path)) {
        return PageSkip::Repeated;
    }
    page.SetChangedQuestion(IDS_PAGE_CHANGED_BEFORE_PUBLISHING);
    if (!page.LoadPage(path, job.OpenSite(path))) {
        return PageSkip::Refused;
    }
    return !again && job.PageHoldsPlayer(page) ? PageSkip::AlreadyPlays : PageSkip::None;
}

PlayerPlace PlacePlayer(const CHtmlPage& page, CStringPageEditor& editor,
                        const PagePlacement& placement) {
    const auto range = FindInsertionRange(placement, page.Text());
    if (!range) {
        return {};
    }
    PlayerPlace place{true, std::nullopt, range->first};
    editor.SetSelection(range->first, range->second);
    const InsertionCheck check = page.CheckInsertionPoint(editor);
    if (check.IsSafe()) {
        return place;
    }
    if (!placement.at && !placement.after && !check.openToEnd) {
        editor.SetSelection(check.safeOffset, check.safeOffset);
    } else if (!placement.force) {
        place.refused = check;
    }
    return place;
}

std::string AddRequestedCaptions(CPublishJob& job, const std::vector<CaptionsRequest>& requests) {
    for (const CaptionsRequest& given : requests) {
        const std::string path = AbsolutePath(given.file);
        const auto& tracks = job.Captions();
        size_t found = 0;
        while (found < tracks.size() && tracks[found].source != path) {
            ++found;
        }
        if (found < tracks.size()) {
            job.SetCaptionsLanguage(
                found, given.language.empty() ? tracks[found].language : given.language,
                given.label);
            continue;
        }
        if (std::string problem = job.AddCaptions(path, given.language, given.label);
            !problem.empty()) {
            return problem;
        }
    }
    return {};
}
