// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "core/CFileDescriptor.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class CSiteFolder;

// A web server on 127.0.0.1 for the preview, so that the browser sees the page as a visitor of
// the site would: captions load (browsers refuse them from file://) and media play in pieces.
// It answers only below a random first path segment, and only the browser that was handed the
// page's one-use address: that address is in the browser's command line, which every user of the
// computer can read, so its first request trades it for a cookie and later ones must show that.
// It serves only what a page loads (pages, scripts, styles, pictures, fonts, media, captions,
// streaming playlists), never hidden files nor code a web server would run, and only:
// - files under the site root ("/<prefix>/<path in the site>"), never through ".." or a link
//   that leads out of the root's real folder;
// - the preview page, from memory, at the address of the page it shows;
// - files the preview names outside the site, at "/<prefix>/.files/<full path>": single files
//   and the files directly in named folders (the player files of the installation).
// Requests run on the server's own threads; the setters may be called while it runs.

class CPreviewServer {
public:
    CPreviewServer();
    // Stops the server.
    ~CPreviewServer();
    CPreviewServer(const CPreviewServer&) = delete;
    CPreviewServer& operator=(const CPreviewServer&) = delete;

    // Starts serving `siteRoot` on a free port with a new prefix; a running server is stopped
    // first. False, with errno set, when the root is no folder or no port could be had.
    bool Start(const std::string& siteRoot);
    // Closes the port and waits for the requests being answered.
    void Stop();
    bool IsRunning() const { return m_pServer != nullptr; }

    int Port() const { return m_nPort; }
    // The site's address, ending in "/"; empty when stopped.
    std::string SiteUrl() const;
    // The root the server was started with, as given.
    const std::string& SiteRoot() const { return m_strSiteRoot; }

    // The root-relative address that serves `path` outside the site once it is allowed.
    std::string FileUrl(const std::string& path) const;

    // `code` with each file URL ("file:///...") turned into this server's address of the file,
    // whose path is added to `files`.
    std::string ServeFileUrls(std::string_view code, std::set<std::string>& files) const;

    // Serves `bytes` as HTML at the address of `pagePath` (which must lie under the site root)
    // instead of the file; its address with a new one-use token for the browser, or nullopt.
    std::optional<std::string> SetPage(const std::string& pagePath, std::string bytes);
    // What may be served outside the site: exactly these files, and the files directly in
    // these folders. Replaces what was allowed before.
    void SetAllowed(std::set<std::string> files, std::set<std::string> folders);

    // Media types by lower-case extension.
    using TypeTable = std::map<std::string, std::string, std::less<>>;
    // The system's list of types (lines of "type extension..."), ours on top, then the AddType
    // lines of the server configuration; a few web types stand in for what the list lacks.
    static TypeTable LoadTypes(const std::string& systemList, const std::string& serverConfig);
    // "application/octet-stream" when no extension fits.
    static std::string TypeIn(const TypeTable& types, std::string_view name);
    // The type sent for a file name, from the table of this computer, read once.
    static std::string MimeTypeOf(std::string_view name);

private:
    // The state the request threads read, guarded by `mutex`.
    struct Shared {
        std::mutex mutex;
        std::string realRoot;
        // Every file of the site is read through it: no link swapped in after a check leads out.
        std::shared_ptr<const CSiteFolder> site;
        std::string pageRelative;
        std::shared_ptr<const std::string> pageBytes;
        std::set<std::string> files;
        std::set<std::string> folders;
        std::set<std::string, std::less<>> tokens;
    };

    // The path of `path` below the real site root; nullopt when it lies elsewhere.
    std::optional<std::string> SitePathOf(const std::string& path) const;
    void Answer(const httplib::Request& request, httplib::Response& response) const;
    bool Admits(const httplib::Request& request, httplib::Response& response) const;
    void AnswerSite(std::string_view relative, const httplib::Request& request,
                    httplib::Response& response) const;
    void AnswerFile(std::string_view path, const httplib::Request& request,
                    httplib::Response& response) const;
    // Sends the open file, typed by `name`; false when it is not a regular file.
    bool SendFile(CFileDescriptor opened, std::string_view name, const httplib::Request& request,
                  httplib::Response& response) const;
    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = 0;
    std::string m_strPrefix;
    std::string m_strCookie;
    std::string m_strSiteRoot;
    std::shared_ptr<Shared> m_pShared;
};
