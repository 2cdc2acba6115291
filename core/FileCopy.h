// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/CSiteFolder.h"

// Called while a copy runs with the bytes done and the total; returning false cancels it.
using CopyProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Copies `source` over `target` (which may exist and be read-only). The bytes go to a temporary
// file beside the target that replaces it only when complete, so a failed copy (a full disk, a
// cancel, a stop request: EINTR) leaves the old target as it was and no partial file behind.
// A symbolic link at `target` is refused with ELOOP. errno tells why it failed.
bool CopyFileOverwrite(const std::string& source, const std::string& target,
                       const CopyProgress& progress = {});

// Copies `source` to `relative` in the site, through the site's handle: the file is written
// without a name and appears whole, so nobody can swap it meanwhile, and nothing is written
// through a link. An existing file there is replaced only with `replace` set (else EEXIST).
// 0 or the errno that stopped it.
int CopyFileIntoSite(const std::string& source, const CSiteFolder& site,
                     const std::string& relative, const CopyProgress& progress = {},
                     bool replace = true);

// Makes the next copies fail with `error` once `afterBytes` bytes are written (tests of full
// disks); a negative `afterBytes` turns that off.
void SetCopyFaultForTesting(int64_t afterBytes, int error);
