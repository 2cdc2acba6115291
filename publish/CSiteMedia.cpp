// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CSiteMedia.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "players/CHTML5Player.h"
#include "players/PlayerMarkup.h"
#include "publish/CHtmlPage.h"
#include "publish/PublishRun.h"
#include "publish/SiteStream.h"

namespace {

constexpr const char* kPageExtensions[] = {".htm", ".html", ".shtml", ".xhtml"};
constexpr const char* kProjekktorFlash = "jarisplayer.swf";
constexpr int kFolderPlayers[] = {PLAYER_TYPE_VIDEOJS, PLAYER_TYPE_MEDIAELEMENT,
                                  PLAYER_TYPE_LEANBACK, PLAYER_TYPE_PROJEKKTOR};

bool IsPageName(const std::string& name) {
    const std::string extension = GetPathExtension(name);
    return std::ranges::any_of(kPageExtensions,
                               [&](const char* e) { return EqualsNoCase(extension, e); });
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// A folder of the site in its stored form ("/js/") as a path relative to the root ("js").
std::string FolderOf(const std::string& stored) {
    return TrimRightChars(TrimLeftChars(stored, "/"), "/");
}

// The names in an open folder, links and other non-files among them.
std::vector<std::pair<std::string, unsigned char>> Entries(int folderFd) {
    std::vector<std::pair<std::string, unsigned char>> names;
    const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) {
            ::close(fd);
        }
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name, entry->d_type);
        }
    }
    ::closedir(dir);
    std::ranges::sort(names);
    return names;
}

std::vector<std::pair<std::string, unsigned char>> Entries(const CSiteFolder& root,
                                                           const std::string& folder) {
    CResult<CFileDescriptor> fd = root.Folder(folder);
    return fd ? Entries(fd.value.get()) : std::vector<std::pair<std::string, unsigned char>>();
}

// The size of the files below the folder `folder` of the site, never through a link.
int64_t FolderSize(const CSiteFolder& root, const std::string& folder) {
    int64_t size = 0;
    for (const auto& entry : Entries(root, folder)) {
        const std::string child = Join(folder, entry.first);
        struct stat st {};
        if (root.Stat(child, st) == 0) {
            size += S_ISDIR(st.st_mode)   ? FolderSize(root, child)
                    : S_ISREG(st.st_mode) ? st.st_size
                                          : 0;
        }
    }
    return size;
}

// The text of page `name` in the open folder, read only (a page the user may not write is still
// listed) and never through a link.
CResult<std::string> ReadPageText(int folderFd, const std::string& name, const std::string& path) {
    CFileDescriptor fd(::openat(folderFd, name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    int error = fd.get() < 0 || ::fstat(fd.get(), &st) != 0                       ? errno
                : !S_ISREG(st.st_mode)                                            ? EINVAL
                : static_cast<uint64_t>(st.st_size) > CPageFile::kPageLimit_bytes ? EFBIG
                                                                                  : 0;
    std::string bytes(error ? 0 : static_cast<size_t>(st.st_size) + 1, '\0');
    size_t filled = 0;
    while (!error) {
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n > 0 && (filled += static_cast<size_t>(n)) == bytes.size()) {
            bytes.resize(std::min(bytes.size() * 2, CPageFile::kPageLimit_bytes + 1));
            error = filled > CPageFile::kPageLimit_bytes ? EFBIG : 0;
        } else if (n == 0) {
            break;
        } else if (n < 0 && errno != EINTR) {
            error = errno;
        }
    }
    if (error) {
        return Failure(error, MESSAGE_ERROR, IDS_PAGE_READ_ERROR, path, GetErrorText(error));
    }
    bytes.resize(filled);
    return CHtmlPage::PageText(std::move(bytes));
}

// The installation folders the program publishes into the JavaScript folder as `name`: a
// player's, or the stream script's.
std::vector<std::string> ResourceFoldersNamed(const std::string& name) {
    for (int type : kFolderPlayers) {
        if (auto player = CreatePlayer(type); player->GetFolderName() == name) {
            return player->ResourceFolders();
        }
    }
    return name == kStreamScriptFolder ? std::vector<std::string>{name}
                                       : std::vector<std::string>();
}

// The files those resource folders put under `jsFolder`, deepest folders last.
std::vector<std::string> ResourceFiles(const std::vector<std::string>& resources,
                                       const std::string& jsFolder,
                                       std::vector<std::string>& folders) {
    std::vector<std::string> files;
    const std::string install = GetInstallFolder();
    for (const std::string& folder : resources) {
        folders.push_back(Join(jsFolder, folder));
        DIR* dir = ::opendir(CombinePath(install, folder).c_str());
        while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
            if (IsRegularFile(CombinePath(CombinePath(install, folder), entry->d_name))) {
                files.push_back(Join(Join(jsFolder, folder), entry->d_name));
            }
        }
        if (dir) {
            ::closedir(dir);
        }
    }
    return files;
}

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += fmt::format("\\u{:04x}", c);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        out += (out.size() > 1 ? ", " : "") + Json(item);
    }
    return out + "]";
}

}  // namespace

SiteDescription WithSiteRequest(SiteDescription saved, const PublishRequest& request) {
    if (request.siteRoot) {
        saved.root = AddBackslash(AbsolutePath(*request.siteRoot));
    }
    saved.jsPath = SiteLayout::StoredSubFolder(request.jsPath.value_or(saved.jsPath));
    saved.mediaPath = SiteLayout::StoredSubFolder(request.mediaPath.value_or(saved.mediaPath));
    return saved;
}

CResult<std::unique_ptr<CSiteMedia>> CSiteMedia::Open(const SiteDescription& site) {
    if (site.root.empty()) {
        return Failure(ENOENT, MESSAGE_ERROR, 0);
    }
    auto root = CSiteFolder::Open(site.root);
    if (!root) {
        return root.why;
    }
    return std::unique_ptr<CSiteMedia>(new CSiteMedia(site, std::move(root.value)));
}

bool CSiteMedia::WalkFolder(int folderFd, const std::string& folder, const PageVisit& visit) const {
    for (const auto& [name, type] : Entries(folderFd)) {
        const std::string path = Join(folder, name);
        struct stat st {};
        const bool known =
            type != DT_UNKNOWN || ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        const bool isFolder =
            type == DT_DIR || (type == DT_UNKNOWN && known && S_ISDIR(st.st_mode));
        const bool isFile = type == DT_REG || (type == DT_UNKNOWN && known && S_ISREG(st.st_mode));
        if (isFolder) {
            const CFileDescriptor sub(
                ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.get() >= 0 && !WalkFolder(sub.get(), path, visit)) {
                return false;
            }
        }
        if (isFile && IsPageName(name) &&
            !visit(path, ReadPageText(folderFd, name, m_pRoot->PathOf(path)))) {
            return false;
        }
    }
    return true;
}

bool CSiteMedia::ForEachPage(
    const std::function<bool(const std::string&, const std::string&)>& visit,
    std::vector<CError>& problems) const {
    const CResult<CFileDescriptor> root = m_pRoot->Folder("");
    if (!root) {
        problems.push_back(root.why);
        problems.back().path = m_pRoot->Root();
        return true;
    }
    // One page in memory at a time, however large the site.
    return WalkFolder(root.value.get(), "",
                      [&](const std::string& path, CResult<std::string> text) {
                          if (!text) {
                              text.why.path = path;
                              problems.push_back(std::move(text.why));
                              return !StopRequested();
                          }
                          return visit(path, text.value) && !StopRequested();
                      });
}

SitePlayer CSiteMedia::Describe(const std::string& page, FoundPlayer found) const {
    SitePlayer player;
    player.page = page;
    auto add = [&](const std::string& url, std::string* into) {
        const auto file = ResolveSiteUrl(page, url);
        if (into) {
            *into = file.value_or(url);
        }
        if (file && std::ranges::find(player.files, *file) == player.files.end()) {
            player.files.push_back(*file);
            struct stat st {};
            if (m_pRoot->Stat(*file, st) == 0 && S_ISREG(st.st_mode)) {
                player.size_bytes += st.st_size;
            }
        }
    };
    for (const std::string& url : found.sources) {
        add(url, &url == found.sources.data() ? &player.media : &player.sources.emplace_back());
    }
    if (!found.poster.empty()) {
        add(found.poster, &player.poster);
    }
    for (const std::string& url : found.captions) {
        add(url, &player.captions.emplace_back());
    }
    if (const auto playlist = ResolveSiteUrl(page, found.stream);
        playlist && !found.stream.empty()) {
        player.stream = GetPathFolder(*playlist) + "/";
        player.files.push_back(player.stream);
        player.size_bytes += FolderSize(*m_pRoot, GetPathFolder(*playlist));
    }
    player.found = std::move(found);
    return player;
}

std::vector<std::string> CSiteMedia::PlayerFiles(const std::string& page,
                                                 const FoundPlayer& player) const {
    auto instance = CreatePlayer(player.playerType);
    const std::string js = player.head ? ResolveSiteUrl(page, player.jsUrl + ".").value_or("")
                                       : FolderOf(m_site.jsPath);
    std::vector<std::string> keys = {Join(js, instance->GetFolderName()) + "/"};
    if (player.playerType == PLAYER_TYPE_PROJEKKTOR) {
        keys.push_back(Join(GetPathFolder(page), kProjekktorFlash));
    }
    if (!player.stream.empty() && !instance->PlaysStreams()) {
        keys.push_back(Join(js, kStreamScriptFolder) + "/");
    }
    return keys;
}

void CSiteMedia::NoteUses(const std::string& page, const PageScan& scan,
                          std::set<std::string>& used) const {
    // A page names the same few locations again and again: each is resolved once.
    std::vector<std::string_view> urls(scan.urls.begin(), scan.urls.end());
    std::ranges::sort(urls);
    urls.erase(std::unique(urls.begin(), urls.end()), urls.end());
    for (std::string_view url : urls) {
        if (auto file = ResolveSiteUrl(page, url)) {
            used.insert(*file);
        }
    }
    for (const FoundPlayer& player : scan.players) {
        if (player.ours) {
            for (std::string& key : PlayerFiles(page, player)) {
                used.insert(std::move(key));
            }
        }
    }
}

bool CSiteMedia::InUse(const std::string& file, const std::set<std::string>& used) const {
    if (!file.ends_with('/')) {
        return used.contains(file);
    }
    const auto below = used.lower_bound(file);
    return below != used.end() && below->starts_with(file);
}

bool CSiteMedia::NamedInUnread(const std::string& file, const std::vector<CError>& unread) const {
    // A page the engine could not read may still name the file: its bytes are searched for the
    // file's name, in either spelling.
    const std::string name = GetPathFileName(RemoveBackslash(file));
    return std::ranges::any_of(unread, [&](const CError& problem) {
        const auto bytes = m_pRoot->ReadSmall(problem.path, CPageFile::kPageLimit_bytes);
        return !bytes || bytes.value.find(name) != std::string::npos ||
               bytes.value.find(EscapeFileNameForUrl(name)) != std::string::npos;
    });
}

SiteListing CSiteMedia::List() const {
    SiteListing listing;
    std::set<std::string> used;
    ForEachPage(
        [&](const std::string& path, const std::string& text) {
            PageScan scan = ScanPage(text);
            NoteUses(path, scan, used);
            for (FoundPlayer& found : scan.players) {
                listing.players.push_back(Describe(path, std::move(found)));
            }
            return true;
        },
        listing.problems);
    const std::string media = FolderOf(m_site.mediaPath);
    for (const auto& [name, type] : Entries(*m_pRoot, media)) {
        const std::string file = Join(media, name);
        const bool stream = type == DT_DIR && IsSiteStream(*m_pRoot, file);
        if ((type == DT_REG || stream) && !IsPageName(name) &&
            !InUse(stream ? file + "/" : file, used) && !NamedInUnread(file, listing.problems)) {
            listing.unused.push_back(stream ? file + "/" : file);
        }
    }
    const std::string js = FolderOf(m_site.jsPath);
    std::vector<std::string> names = {kStreamScriptFolder};
    for (int type : kFolderPlayers) {
        names.push_back(CreatePlayer(type)->GetFolderName());
    }
    for (const std::string& name : names) {
        const std::string folder = Join(js, name);
        struct stat st {};
        if (m_pRoot->Stat(folder, st) == 0 && S_ISDIR(st.st_mode) && !InUse(folder + "/", used) &&
            !NamedInUnread(folder + "/", listing.problems)) {
            listing.unused.push_back(folder + "/");
        }
    }
    return listing;
}

std::function<bool(const std::string&, const FoundPlayer&)> CSiteMedia::Shows(
    const std::string& media) const {
    const auto inSite = m_pRoot->Relative(AbsolutePath(media));
    const bool byName = media.find('/') == std::string::npos;
    return [=](const std::string& page, const FoundPlayer& player) {
        return player.ours && std::ranges::any_of(player.sources, [&](const std::string& url) {
                   const auto file = ResolveSiteUrl(page, url);
                   return file && ((inSite && *file == *inSite) ||
                                   (byName && GetPathFileName(*file) == media));
               });
    };
}

std::vector<std::string> CSiteMedia::RelativePages(const std::vector<std::string>& pages) const {
    std::vector<std::string> relative;
    for (const std::string& page : pages) {
        relative.push_back(m_pRoot->Relative(AbsolutePath(page)).value_or(page));
    }
    return relative;
}

RemoveOutcome CSiteMedia::Remove(const RemoveRequest& request, IReport& report) const {
    RemoveOutcome outcome;
    const auto shows = Shows(request.media);
    const std::vector<std::string> pages = RelativePages(request.pages);
    std::set<std::string> used;
    std::set<std::string> candidates;
    const bool finished = ForEachPage(
        [&](const std::string& path, const std::string& read) {
            const bool named = pages.empty() || std::ranges::find(pages, path) != pages.end();
            auto matching = [&](const PageScan& scan) {
                std::vector<size_t> remove;
                for (size_t i = 0; named && i < scan.players.size(); ++i) {
                    if (shows(path, scan.players[i])) {
                        remove.push_back(i);
                    }
                }
                return remove;
            };
            PageScan scan = ScanPage(read);
            std::vector<size_t> remove = matching(scan);
            // Only a page to change is opened for writing, and read again as it is now.
            CHtmlPage page;
            CStatus loaded =
                remove.empty() ? CStatus() : page.LoadPage(m_pRoot->PathOf(path), m_pRoot);
            if (loaded && !remove.empty() && page.Text() != read) {
                scan = ScanPage(page.Text());
                remove = matching(scan);
            }
            if (remove.empty() || !loaded) {
                if (!loaded) {
                    loaded.why.path = path;
                    outcome.problems.push_back(loaded.why);
                }
                NoteUses(path, scan, used);
                return true;
            }
            const std::string text = WithoutPlayers(page.Text(), scan.players, remove);
            page.SetReport(&report);
            CStatus saved;
            {
                const CStopSignalsHeld held;
                saved = page.SavePage(text);
            }
            if (!saved) {
                saved.why.path = path;
                outcome.problems.push_back(saved.why);
                NoteUses(path, scan, used);
                return true;
            }
            outcome.pages.push_back(path);
            for (size_t index : remove) {
                const SitePlayer player = Describe(path, scan.players[index]);
                candidates.insert(player.files.begin(), player.files.end());
                for (const std::string& key : PlayerFiles(path, scan.players[index])) {
                    candidates.insert(key);
                }
            }
            NoteUses(path, ScanPage(text), used);
            return true;
        },
        outcome.unread);
    // Only a walk over every page knows that nothing else uses a file.
    if (!finished) {
        outcome.stopped = true;
        return outcome;
    }
    if (!request.keepFiles) {
        DeleteUnused(candidates, used, outcome);
    }
    return outcome;
}

void CSiteMedia::DeleteUnused(const std::set<std::string>& candidates,
                              const std::set<std::string>& used, RemoveOutcome& outcome) const {
    for (const std::string& file : candidates) {
        if (InUse(file, used) || NamedInUnread(file, outcome.unread)) {
            continue;
        }
        if (!file.ends_with('/')) {
            if (m_pRoot->Unlink(file) == 0) {
                outcome.files.push_back(file);
            }
            continue;
        }
        // A stream folder goes whole; a player folder only with the files the player put there,
        // then its folders if empty.
        const std::string folder = file.substr(0, file.size() - 1);
        if (RemoveSiteStream(*m_pRoot, folder)) {
            outcome.files.push_back(file);
            continue;
        }
        std::vector<std::string> folders;
        const auto resources = ResourceFoldersNamed(GetPathFileName(folder));
        for (const std::string& resource :
             ResourceFiles(resources, GetPathFolder(folder), folders)) {
            if (m_pRoot->Unlink(resource) == 0) {
                outcome.files.push_back(resource);
            }
        }
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            const auto [parent, name] = SplitSitePath(*it);
            if (CResult<CFileDescriptor> fd = m_pRoot->Folder(parent)) {
                ::unlinkat(fd.value.get(), name.c_str(), AT_REMOVEDIR);
            }
        }
    }
}

ReplacePlan CSiteMedia::PlanReplace(const std::string& oldMedia, const std::string& newMedia,
                                    const std::vector<std::string>& pages, bool newCaptions,
                                    bool keepPoster) const {
    ReplacePlan plan;
    const auto shows = Shows(oldMedia);
    const std::vector<std::string> named = RelativePages(pages);
    plan.stopped = !ForEachPage(
        [&](const std::string& path, const std::string& text) {
            if (!named.empty() && std::ranges::find(named, path) == named.end()) {
                return true;
            }
            for (const FoundPlayer& found : ScanPage(text).players) {
                if (!shows(path, found)) {
                    continue;
                }
                const SitePlayer old = Describe(path, found);
                plan.oldFiles.insert(old.files.begin(), old.files.end());
                PublishRequest& request = plan.steps.emplace_back().request;
                plan.steps.back().page = m_pRoot->PathOf(path);
                request.media = newMedia;
                request.pages = {plan.steps.back().page};
                request.player = found.audio ? std::nullopt : std::optional(found.player);
                request.siteRoot = m_site.root;
                request.jsPath = m_site.jsPath;
                request.mediaPath = m_site.mediaPath;
                // A new picture of the new media where the old one had a poster.
                request.poster = !found.poster.empty();
                request.posterOptional = true;
                if (keepPoster && !old.poster.empty()) {
                    request.posterFile = m_pRoot->PathOf(old.poster);
                }
                request.autoplay = found.autoplay;
                request.loop = found.loop;
                request.controls = found.controls;
                request.fit = found.fit;
                request.qualities = !found.stream.empty();
                request.noCaptions = !newCaptions;
                for (size_t i = 0; !newCaptions && i < old.captions.size(); ++i) {
                    request.captions.push_back({m_pRoot->PathOf(old.captions[i]),
                                                found.captionNames[i].first,
                                                found.captionNames[i].second});
                }
                request.at = text.substr(found.body.offset, found.body.length);
                request.force = request.again = true;
                // Checked, and made web-ready where browsers cannot play it, as a publish does.
                request.convert = true;
            }
            return true;
        },
        plan.unread);
    return plan;
}

RemoveOutcome CSiteMedia::RemoveUnused(const std::set<std::string>& candidates) const {
    RemoveOutcome outcome;
    std::set<std::string> used;
    const bool finished = ForEachPage(
        [&](const std::string& path, const std::string& text) {
            NoteUses(path, ScanPage(text), used);
            return true;
        },
        outcome.unread);
    outcome.stopped = !finished;
    if (finished) {
        DeleteUnused(candidates, used, outcome);
    }
    return outcome;
}

std::string ListingJson(const SiteListing& listing) {
    std::string text = "{\"players\": [";
    for (const SitePlayer& p : listing.players) {
        text += fmt::format(
            "{}\n  {{\"page\": {}, \"line\": {}, \"player\": {}, \"media\": {}, "
            "\"poster\": {}, \"captions\": {}, \"stream\": {}{}, \"files\": {}, "
            "\"size_bytes\": {}}}",
            &p == listing.players.data() ? "" : ",", Json(p.page), p.found.line,
            Json(p.found.ours ? p.found.player : "other video"), Json(p.media), Json(p.poster),
            JsonList(p.captions), Json(p.stream),
            p.sources.empty() ? "" : ", \"sources\": " + JsonList(p.sources), JsonList(p.files),
            p.size_bytes);
    }
    return text + "],\n\"unused\": " + JsonList(listing.unused) + "}\n";
}
