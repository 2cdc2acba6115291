// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/CSiteFolder.h"
#include "core/FileCopy.h"

// The file of a published stream that names the media it was made of.
inline constexpr const char* kStreamMarkFile = "source.txt";

// The folder of the media's stream beside it: "movie.hls" for ".../movie.mp4".
std::string StreamFolderName(const std::string& media);
// What tells the media from other content: its size and a hash of its bytes; empty when it
// cannot be read.
std::string StreamMark(const std::string& media);
// Whether the site holds at `relative` a whole stream made of the media of `mark`.
bool SiteHoldsStream(const CSiteFolder& site, const std::string& relative, const std::string& mark);
// Copies the stream folder `stream` (outside the site) to `relative` in the site with `mark`
// beside its playlists, through the site's handle: it appears whole, in one rename, replacing a
// stream of other media there, or not at all. 0 or the errno that stopped it.
int CopyStreamIntoSite(const std::string& stream, const CSiteFolder& site,
                       const std::string& relative, const std::string& mark,
                       const CopyProgress& progress = {});
// Whether the folder `relative` of the site is a stream this program published (it holds the
// mark), and removes it so; never through a link.
bool IsSiteStream(const CSiteFolder& site, const std::string& relative);
bool RemoveSiteStream(const CSiteFolder& site, const std::string& relative);
