// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/CSiteFolder.h"
#include "players/PlayerInfo.h"
#include "players/PlayerRequest.h"

// A player template: turns a request into head and body markup and knows the resource folders
// the markup refers to.
class CHTML5Player {
public:
    CHTML5Player(int kindsMask, PlayerType playerType)
        : m_nKindsMask(kindsMask), m_nPlayerType(playerType) {}
    virtual ~CHTML5Player() = default;
    CHTML5Player(const CHTML5Player&) = delete;
    CHTML5Player& operator=(const CHTML5Player&) = delete;

    // Both are pure: the output depends on the request alone, and nothing else changes.
    virtual bool GetHeadCode(const PlayerRequest& request, std::string& out) = 0;
    // On failure `out` is left as it was.
    virtual bool GetBodyCode(const PlayerRequest& request, std::string& out) = 0;
    // Script the caller appends after the body code.
    virtual std::string GetScriptCode() const { return {}; }
    // Copies the player's resource folders from the installation folder into `targetFolder`.
    // A link in the place of a file is left alone: false with ELOOP, FailedFile naming it.
    virtual bool CopyResources(const std::string& targetFolder);
    // Puts what the player needs beside the page, into `pageFolder` of the site (relative to
    // its root); a link in the way is treated as above.
    virtual bool OnPagePublished(const CSiteFolder& site, const std::string& pageFolder);
    // The file the last failed CopyResources or OnPagePublished could not write; empty when the
    // failure was not a file's.
    const std::string& FailedFile() const { return m_strFailedFile; }
    virtual std::string GetFolderName() const = 0;
    // The installation folders whose files CopyResources publishes (names below it).
    std::vector<std::string> ResourceFolders() const { return GetResourceFolders(); }

    // Whether the player plays an HLS stream without the stream script beside it.
    virtual bool PlaysStreams() const { return false; }

    int GetKindsMask() const { return m_nKindsMask; }
    PlayerType GetPlayerType() const { return m_nPlayerType; }

protected:
    // The resource folders CopyResources copies, in order (each without its sub-folders).
    virtual std::vector<std::string> GetResourceFolders() const { return {GetFolderName()}; }
    bool Serves(const PlayerRequest& request) const {
        return (request.mediaKind & m_nKindsMask) != 0;
    }
    // The controls, loop, autoplay and, for a video, poster and fit macros replaced; the body
    // tidied for a fitted player.
    static std::string ReplaceCommonMacros(std::string text, const PlayerRequest& request,
                                           bool video);
    // Copies `source` over `target` (see CopyFileOverwrite), remembering a failed target.
    bool CopyPlayerFile(const std::string& source, const std::string& target);
    bool CopyFolderFiles(const std::string& source, const std::string& target);

    std::string m_strFailedFile;

private:
    int m_nKindsMask;
    PlayerType m_nPlayerType;
};

// A new player of the given type, or null for an unknown type.
std::unique_ptr<CHTML5Player> CreatePlayer(int type);
