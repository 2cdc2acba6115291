// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/CPreviewServer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <httplib.h>

#include "core/CSiteFolder.h"
#include "core/CodePage.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "publish/MediaCopy.h"

namespace {

constexpr size_t kChunkBytes = 64 * 1024;
constexpr std::string_view kCookieName = "preview";
constexpr std::string_view kTokenName = "token";
// Hidden, so that no name in the site can take it.
constexpr std::string_view kFilesFolder = ".files";

// The web types for a computer without a list of types; the list goes on top.
constexpr std::pair<const char*, const char*> kWebTypes[] = {
    {"htm", "text/html"},      {"html", "text/html"},      {"css", "text/css"},
    {"js", "text/javascript"}, {"mjs", "text/javascript"}, {"svg", "image/svg+xml"},
    {"png", "image/png"},      {"jpg", "image/jpeg"},      {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},      {"webp", "image/webp"},     {"avif", "image/avif"},
    {"ico", "image/x-icon"},   {"woff", "font/woff"},      {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},       {"otf", "font/otf"},        {"mp4", "video/mp4"},
    {"m4v", "video/mp4"},      {"webm", "video/webm"},     {"ogv", "video/ogg"},
    {"ogg", "audio/ogg"},      {"oga", "audio/ogg"},       {"opus", "audio/ogg"},
    {"mp3", "audio/mpeg"},     {"m4a", "audio/mp4"},       {"wav", "audio/wav"},
};

// What the list lacks or names otherwise than players expect (it has ".ts" as translations).
constexpr std::pair<const char*, const char*> kOurTypes[] = {
    {"vtt", "text/vtt"},
    {"m3u8", "application/vnd.apple.mpegurl"},
    {"m4s", "video/iso.segment"},
    {"ts", "video/mp2t"},
};

// Code a web server runs instead of sending it. Looked for in every part of a name, since some
// servers run "a.php.jpg" too.
constexpr std::string_view kServerCode[] = {
    "asa",  "asax", "ascx",  "ashx", "asmx", "asp",   "aspx",  "axd",  "bash",   "cfm",
    "cfml", "cgi",  "fcgi",  "inc",  "jsp",  "jspx",  "lua",   "phar", "php",    "php3",
    "php4", "php5", "php7",  "php8", "phps", "pht",   "phtml", "pl",   "pm",     "py",
    "pyc",  "rb",   "rhtml", "sh",   "shtm", "shtml", "ssi",   "stm",  "cshtml", "vbhtml",
};

// Pages, scripts, styles, pictures, fonts, media, captions and streaming playlists.
bool PageLoads(std::string_view type) {
    for (std::string_view kind : {"image/", "audio/", "video/", "font/"}) {
        if (type.starts_with(kind)) {
            return true;
        }
    }
    constexpr std::string_view kOthers[] = {
        "text/html",
        "application/xhtml+xml",
        "text/css",
        "text/javascript",
        "application/javascript",
        "text/vtt",
        "application/vnd.apple.mpegurl",
        "application/x-mpegurl",
        "application/ogg",
        "application/vnd.ms-fontobject",
    };
    return std::ranges::find(kOthers, type) != std::end(kOthers);
}

// Whether a file of this name is one a page may load and no web server would run.
bool MayServe(std::string_view name) {
    const std::string lower = ToLowerAscii(name);
    for (size_t dot = lower.find('.'); dot != std::string::npos;) {
        const size_t next = lower.find('.', dot + 1);
        const std::string_view part = std::string_view(lower).substr(
            dot + 1, next == std::string::npos ? std::string::npos : next - dot - 1);
        if (std::ranges::find(kServerCode, part) != std::end(kServerCode)) {
            return false;
        }
        dot = next;
    }
    return PageLoads(CPreviewServer::MimeTypeOf(name));
}

// A piece of a relative path that is hidden (".git", ".htpasswd") hides all below it.
bool IsHidden(std::string_view relative) {
    return relative.starts_with('.') || relative.find("/.") != std::string_view::npos;
}

bool IsServable(std::string_view relative) {
    return !IsHidden(relative) && MayServe(GetPathFileName(relative));
}

// The words of each line of a text file that is not a comment.
std::vector<std::vector<std::string>> LinesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> words;
        if (SplitString(line, " \t\r", words) > 0 && !words[0].starts_with('#')) {
            lines.push_back(std::move(words));
        }
    }
    return lines;
}

std::string RandomHex() {
    std::random_device random;
    std::string hex;
    for (int i = 0; i < 4; ++i) {
        hex += fmt::format("{:08x}", static_cast<uint32_t>(random()));
    }
    return hex;
}

// Strictly below: the root itself is not a file to serve.
bool IsUnder(std::string_view path, std::string_view folder) {
    return (folder == "/" || path != folder) && IsInOrBelow(path, folder);
}

// The path part of the URL of an absolute path, escaped as the addresses in pages are.
std::string UrlPath(const std::string& path) {
    constexpr std::string_view kScheme = "file://";
    std::string url = PathToUrl(path);
    return url.starts_with(kScheme) ? url.substr(kScheme.size()) : url;
}

// The secret is compared in a time that does not tell how much of it was right.
bool SameSecret(std::string_view a, std::string_view b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return differ == 0;
}

bool HoldsCookie(std::string_view header, std::string_view name, std::string_view value) {
    bool held = false;
    for (size_t pos = 0; pos < header.size();) {
        const size_t end = std::min(header.find(';', pos), header.size());
        std::string_view pair = header.substr(pos, end - pos);
        while (pair.starts_with(' ')) {
            pair.remove_prefix(1);
        }
        if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') {
            held = SameSecret(pair.substr(name.size() + 1), value) || held;
        }
        pos = end + 1;
    }
    return held;
}

// The path of a request below its prefix in the system code page, empty pieces dropped; nullopt
// for a piece that climbs ("..") or stays (".") and for bytes no file name has.
std::optional<std::string> CleanPath(std::string_view decoded) {
    std::string path(decoded);
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (!codepage::SystemIsUtf8()) {
        auto system = codepage::Utf8ToSystem(path);
        if (!system) {
            return std::nullopt;
        }
        path = std::move(*system);
    }
    std::string clean;
    std::vector<std::string> pieces;
    SplitString(path, "/", pieces);
    for (const std::string& piece : pieces) {
        if (piece == "." || piece == "..") {
            return std::nullopt;
        }
        clean += (clean.empty() ? "" : "/") + piece;
    }
    return clean;
}

// Characters that end a URL the player code writes: its quotes, markup, blanks and what it
// always escapes in a path.
bool EndsUrl(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c <= 0x20 || c >= 0x7F ||
           std::string_view("\"'<>\\()#?&:`{}|^").find(ch) != std::string_view::npos;
}

std::string DecodeUrl(std::string_view url) {
    std::string out;
    for (size_t i = 0; i < url.size(); ++i) {
        unsigned char byte = 0;
        const char* digits = url.data() + i + 1;
        if (url[i] == '%' && i + 2 < url.size() &&
            std::from_chars(digits, digits + 2, byte, 16).ptr == digits + 2) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += url[i];
        }
    }
    return out;
}

// False, with the answer for it, when a range asked for lies wholly beyond the content.
bool RangesFit(const httplib::Ranges& ranges, size_t size, httplib::Response& response) {
    for (const auto& [first, last] : ranges) {
        const bool fits = first < 0
                              ? last > 0 && size > 0
                              : static_cast<size_t>(first) < size && (last < 0 || last >= first);
        if (!fits) {
            response.status = 416;
            response.set_header("Content-Range", fmt::format("bytes */{}", size));
            return false;
        }
    }
    return true;
}

void Refuse(httplib::Response& response, int status) {
    response.status = status;
    response.set_content(status == 403 ? "Forbidden\n" : "Not Found\n", "text/plain");
}

}  // namespace

CPreviewServer::CPreviewServer() : m_pShared(std::make_shared<Shared>()) {}

CPreviewServer::~CPreviewServer() {
    Stop();
}

CPreviewServer::TypeTable CPreviewServer::LoadTypes(const std::string& systemList,
                                                    const std::string& serverConfig) {
    TypeTable types;
    for (const auto& [extension, type] : kWebTypes) {
        types[extension] = type;
    }
    for (const auto& words : LinesOf(systemList)) {
        for (size_t i = 1; i < words.size(); ++i) {
            types[ToLowerAscii(words[i])] = words[0];
        }
    }
    for (const auto& [extension, type] : kOurTypes) {
        types[extension] = type;
    }
    // The types the published site gets from its server configuration are the ones to test with.
    std::ifstream config(serverConfig);
    for (const auto& words :
         AddTypeLines(std::string(std::istreambuf_iterator<char>(config), {}))) {
        for (size_t i = 2; i < words.size(); ++i) {
            const std::string_view extension =
                std::string_view(words[i]).substr(words[i].starts_with('.') ? 1 : 0);
            if (!extension.empty()) {
                types[ToLowerAscii(extension)] = words[1];
            }
        }
    }
    return types;
}

std::string CPreviewServer::TypeIn(const TypeTable& types, std::string_view name) {
    const std::string extension = GetPathExtension(name);
    const auto found =
        extension.empty() ? types.end() : types.find(ToLowerAscii(extension.substr(1)));
    return found != types.end() ? found->second : "application/octet-stream";
}

std::string CPreviewServer::MimeTypeOf(std::string_view name) {
    static const TypeTable types = LoadTypes("/etc/mime.types", ServerConfigSource());
    return TypeIn(types, name);
}

bool CPreviewServer::Start(const std::string& siteRoot) {
    Stop();
    const std::optional<std::string> realRoot = RealPath(siteRoot);
    if (!realRoot) {
        return false;
    }
    if (!IsFolder(*realRoot)) {
        errno = ENOTDIR;
        return false;
    }
    const auto site = CSiteFolder::Open(*realRoot);
    if (!site) {
        errno = site.error;
        return false;
    }
    auto server = std::make_unique<httplib::Server>();
    // A browser keeps idle connections open; they must not hold up closing the preview long.
    server->set_keep_alive_timeout(1);
    server->set_read_timeout(5);
    server->set_write_timeout(5);
    server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Answer(request, response);
    });
    errno = 0;
    const int port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        if (errno == 0) {
            errno = EADDRNOTAVAIL;
        }
        return false;
    }
    m_strSiteRoot = siteRoot;
    m_strPrefix = RandomHex();
    m_strCookie = RandomHex();
    m_nPort = port;
    {
        const std::lock_guard lock(m_pShared->mutex);
        m_pShared->realRoot = *realRoot;
        m_pShared->site = site.value;
        m_pShared->pageRelative.clear();
        m_pShared->pageBytes.reset();
        m_pShared->files.clear();
        m_pShared->folders.clear();
        m_pShared->tokens.clear();
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([server = server.get(), finished] {
        server->listen_after_bind();
        *finished = true;
    });
    // A stop before the listening loop has begun would not end it.
    while (!server->is_running() && !*finished) {
        std::this_thread::yield();
    }
    m_pServer = std::move(server);
    return true;
}

void CPreviewServer::Stop() {
    if (!m_pServer) {
        return;
    }
    m_pServer->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_pServer.reset();
    m_nPort = 0;
    m_strPrefix.clear();
    m_strCookie.clear();
    m_strSiteRoot.clear();
    const std::lock_guard lock(m_pShared->mutex);
    m_pShared->pageBytes.reset();
    m_pShared->files.clear();
    m_pShared->folders.clear();
    m_pShared->tokens.clear();
}

std::string CPreviewServer::SiteUrl() const {
    if (!m_pServer) {
        return {};
    }
    return fmt::format("http://127.0.0.1:{}/{}/", m_nPort, m_strPrefix);
}

std::optional<std::string> CPreviewServer::SitePathOf(const std::string& path) const {
    if (!m_pServer) {
        return std::nullopt;
    }
    // The folder's links are resolved, not the file's: a page that is a link is still shown
    // at its own address, as a web server would.
    const std::optional<std::string> folder = RealPath(GetPathFolder(path));
    const std::string name = GetPathFileName(path);
    if (!folder || name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    std::string realRoot;
    {
        const std::lock_guard lock(m_pShared->mutex);
        realRoot = m_pShared->realRoot;
    }
    if (*folder == realRoot) {
        return name;
    }
    if (IsUnder(*folder, realRoot)) {
        return std::filesystem::path(*folder).lexically_relative(realRoot) / name;
    }
    return std::nullopt;
}

std::string CPreviewServer::FileUrl(const std::string& path) const {
    return fmt::format("/{}/{}{}", m_strPrefix, kFilesFolder, UrlPath(path));
}

std::string CPreviewServer::ServeFileUrls(std::string_view code,
                                          std::set<std::string>& files) const {
    constexpr std::string_view kScheme = "file://";
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = code.find(kScheme, pos)) != std::string_view::npos;) {
        const size_t start = hit + kScheme.size();
        size_t end = start;
        while (end < code.size() && !EndsUrl(code[end])) {
            ++end;
        }
        std::string path = DecodeUrl(code.substr(start, end - start));
        if (!codepage::SystemIsUtf8()) {
            path = codepage::Utf8ToSystem(path).value_or(std::string());
        }
        out.append(code, pos, hit - pos);
        if (path.starts_with('/')) {
            out += FileUrl(path);
            files.insert(std::move(path));
        } else {
            out.append(code, hit, end - hit);
        }
        pos = end;
    }
    out.append(code, pos);
    return out;
}

std::optional<std::string> CPreviewServer::SetPage(const std::string& pagePath, std::string bytes) {
    const std::optional<std::string> relative = SitePathOf(pagePath);
    if (!relative) {
        return std::nullopt;
    }
    const std::string token = RandomHex();
    const std::lock_guard lock(m_pShared->mutex);
    m_pShared->pageRelative = *relative;
    m_pShared->pageBytes = std::make_shared<const std::string>(std::move(bytes));
    m_pShared->tokens.insert(token);
    return fmt::format("{}{}?{}={}", SiteUrl(), UrlPath("/" + *relative).substr(1), kTokenName,
                       token);
}

void CPreviewServer::SetAllowed(std::set<std::string> files, std::set<std::string> folders) {
    const std::lock_guard lock(m_pShared->mutex);
    m_pShared->files = std::move(files);
    m_pShared->folders = std::move(folders);
}

void CPreviewServer::Answer(const httplib::Request& request, httplib::Response& response) const {
    // Each preview changes what an address shows.
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    // Another name for this computer would be a page elsewhere reaching in through its DNS.
    if (request.get_header_value("Host") != fmt::format("127.0.0.1:{}", m_nPort)) {
        Refuse(response, 403);
        return;
    }
    std::string_view path = request.path;
    const std::string root = "/" + m_strPrefix + "/";
    if (!path.starts_with(root)) {
        Refuse(response, 404);
        return;
    }
    if (!Admits(request, response)) {
        return;
    }
    path.remove_prefix(root.size());
    if (path.starts_with(kFilesFolder) && path.substr(kFilesFolder.size()).starts_with('/')) {
        AnswerFile(path.substr(kFilesFolder.size()), request, response);
    } else {
        AnswerSite(path, request, response);
    }
}

bool CPreviewServer::Admits(const httplib::Request& request, httplib::Response& response) const {
    const std::string name(kTokenName);
    if (request.has_param(name)) {
        bool fresh = false;
        {
            const std::lock_guard lock(m_pShared->mutex);
            fresh = m_pShared->tokens.erase(request.get_param_value(name)) > 0;
        }
        if (!fresh) {
            Refuse(response, 403);
            return false;
        }
        response.set_header("Set-Cookie", fmt::format("{}={}; Path=/{}; HttpOnly; SameSite=Strict",
                                                      kCookieName, m_strCookie, m_strPrefix));
        // The clean address, so that the token is not kept in the history nor sent again.
        response.set_redirect(request.target.substr(0, request.target.find('?')), 303);
        return false;
    }
    if (!HoldsCookie(request.get_header_value("Cookie"), kCookieName, m_strCookie)) {
        Refuse(response, 403);
        return false;
    }
    return true;
}

void CPreviewServer::AnswerSite(std::string_view relative, const httplib::Request& request,
                                httplib::Response& response) const {
    const std::optional<std::string> clean = CleanPath(relative);
    if (!clean) {
        Refuse(response, 403);
        return;
    }
    std::string realRoot;
    std::shared_ptr<const CSiteFolder> site;
    {
        const std::lock_guard lock(m_pShared->mutex);
        if (m_pShared->pageBytes && *clean == m_pShared->pageRelative) {
            const std::shared_ptr<const std::string> bytes = m_pShared->pageBytes;
            if (RangesFit(request.ranges, bytes->size(), response)) {
                response.set_content(*bytes, "text/html");
            }
            return;
        }
        realRoot = m_pShared->realRoot;
        site = m_pShared->site;
    }
    if (clean->empty() || !IsServable(*clean)) {
        // No listings of folders either.
        Refuse(response, 404);
        return;
    }
    const std::optional<std::string> real = RealPath(std::filesystem::path(realRoot) / *clean);
    if (!real) {
        Refuse(response, 404);
        return;
    }
    if (!IsUnder(*real, realRoot)) {
        Refuse(response, 403);
        return;
    }
    // A link inside the site leads no further than its name would.
    const std::string inSite = std::filesystem::path(*real).lexically_relative(realRoot).native();
    if (!IsServable(inSite) ||
        !SendFile(site->OpenAt(inSite, O_RDONLY | O_NONBLOCK).value, inSite, request, response)) {
        Refuse(response, 404);
    }
}

void CPreviewServer::AnswerFile(std::string_view path, const httplib::Request& request,
                                httplib::Response& response) const {
    const std::optional<std::string> clean = CleanPath(path);
    if (!clean) {
        Refuse(response, 403);
        return;
    }
    const std::string full = "/" + *clean;
    if (!MayServe(GetPathFileName(full))) {
        Refuse(response, 404);
        return;
    }
    bool named = false;
    bool inFolder = false;
    {
        const std::lock_guard lock(m_pShared->mutex);
        named = m_pShared->files.contains(full);
        inFolder = m_pShared->folders.contains(GetPathFolder(full));
    }
    if (named) {
        if (!SendFile(OpenToRead(full), full, request, response)) {
            Refuse(response, 404);
        }
        return;
    }
    if (!inFolder) {
        Refuse(response, 404);
        return;
    }
    // Only what lies in the folder itself, not what a link there leads to.
    const std::optional<std::string> real = RealPath(full);
    const std::optional<std::string> folder = RealPath(GetPathFolder(full));
    if (!real || !folder || GetPathFolder(*real) != *folder) {
        Refuse(response, real ? 403 : 404);
        return;
    }
    if (!MayServe(GetPathFileName(*real))) {
        Refuse(response, 404);
        return;
    }
    if (!SendFile(OpenToRead(*real), *real, request, response)) {
        Refuse(response, 404);
    }
}

bool CPreviewServer::SendFile(CFileDescriptor opened, std::string_view name,
                              const httplib::Request& request, httplib::Response& response) const {
    const int fd = opened.release();
    if (fd < 0) {
        return false;
    }
    auto file = std::shared_ptr<int>(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const std::string type = MimeTypeOf(name);
    const auto size = static_cast<size_t>(st.st_size);
    if (!RangesFit(request.ranges, size, response)) {
        return true;
    }
    if (size == 0) {
        response.set_content(std::string(), type);
        return true;
    }
    // A piece at a time, so a long video neither fills the memory nor holds up a stop.
    response.set_content_provider(
        size, type, [file](size_t offset, size_t length, httplib::DataSink& sink) {
            std::vector<char> buffer(std::min(length, kChunkBytes));
            const ssize_t n =
                ::pread(*file, buffer.data(), buffer.size(), static_cast<off_t>(offset));
            if (n <= 0) {
                return false;
            }
            return sink.write(buffer.data(), static_cast<size_t>(n));
        });
    return true;
}
