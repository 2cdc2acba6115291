// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/CSiteFolder.h"
#include "players/PlayerRequest.h"

// Answers of the overwrite question, in the numbering callers store.
enum CopyExistAnswer : int {
    COPY_EXIST_YES = 1,
    COPY_EXIST_YES_TO_ALL = 1000,
    COPY_EXIST_NO = 7,
    COPY_EXIST_CANCEL = 2,
};

// The questions copying asks; the wizard answers with dialogs, the command line by its options.
class ICopyQuestions {
public:
    virtual ~ICopyQuestions() = default;
    // A file of that name with other content is already in the folder (message 25).
    virtual int AskOverwrite(const std::string& text) = 0;
    // Copying failed (message 26): IDABORT, IDRETRY or IDIGNORE.
    virtual int AskCopyError(const std::string& text) = 0;
    // Progress of one file; false cancels the copy (it then counts as failed).
    virtual bool Progress(const std::string& /*file*/, uint64_t /*done*/, uint64_t /*total*/) {
        return true;
    }
    // What the user should know while copying goes on (the name a file took instead of its own).
    virtual void Tell(const CError& note) = 0;
};

// Pairs of files this job found or made equal, each with what both looked like then, so the next
// page into the same folder need not read them again. A pair that changed since is compared anew.
class CEqualFilesMemo {
public:
    bool KnownEqual(const std::string& source, const std::string& target) const;
    void Remember(const std::string& source, const std::string& target);

private:
    struct Look {
        uint64_t device = 0, inode = 0, size = 0;
        int64_t modified_ns = 0;
        bool operator==(const Look&) const = default;
    };
    static bool LookOf(const std::string& path, Look& look);

    std::map<std::pair<std::string, std::string>, std::pair<Look, Look>> m_pairs;
};

// Makes the media folder when the request copies into one. A folder that cannot be made fails
// with message 330 and the reason, and publishing must stop.
CStatus PrepareMediaFolder(const PlayerRequest& request, const CSiteFolder& site,
                           const std::string& mediaFolder);

// Where the media goes: a folder of the site, reached through the site's handle.
struct MediaCopyPlace {
    const CSiteFolder* site = nullptr;
    // The media folder, relative to the site's root.
    std::string folder;
    // Where fast-start copies are made, outside the site.
    std::string workFolder;
    CEqualFilesMemo* memo = nullptr;
    // Filled in: the name a file of the copy list took in the media folder where its own name
    // held other content that the user kept.
    std::map<std::string, std::string> renamed;
};

// Copies the request's copyList into the media folder, asking before it replaces a file of
// other content; where the user keeps that file, the new one takes a free name of its own. Then
// deletes the temporary files that lie outside the media folder. A failure means publishing must
// stop (Cancel and Abort, which have nothing more to say; a link left in the way).
CStatus CopyMediaFiles(PlayerRequest& request, MediaCopyPlace& place, ICopyQuestions& questions);

// Copies the player's resource `folders` from the installation into `jsFolder` (relative to the
// site's root). 0 or the errno that stopped it, with `failed` naming the file or folder in the
// site that could not be written (ELOOP: a link there). `memo` spares a batch comparing the same
// files again for every page.
int CopyPlayerFiles(const CSiteFolder& site, const std::string& jsFolder,
                    const std::vector<std::string>& folders, std::string& failed,
                    CEqualFilesMemo* memo = nullptr);

// The media types of a published stream, as lines of the server configuration.
inline constexpr const char* kStreamTypes =
    "AddType application/vnd.apple.mpegurl .m3u8\nAddType video/iso.segment .m4s\n";

// Copies the installation's server configuration to ".htaccess" in the media folder (relative to
// the site's root; made when missing, so the first publish gets it too), with the AddType lines
// `moreTypes` too. A site's own configuration that cannot take our lines fails with message 332,
// which lists them.
CStatus CopyServerConfig(const CSiteFolder& site, const std::string& mediaFolder,
                         const std::string& moreTypes = {});
// The installation's server configuration that CopyServerConfig publishes.
std::string ServerConfigSource();
// The words of each AddType line of a server configuration.
std::vector<std::vector<std::string>> AddTypeLines(std::string_view config);
