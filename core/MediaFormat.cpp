// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MediaFormat.h"

#include <stdexcept>
#include <string>

#include "core/PathUtils.h"

const MediaFormat& GetMediaFormat(int row) {
    if (row < 0 || row >= kMediaFormatCount) {
        throw std::out_of_range("media format row " + std::to_string(row));
    }
    return kMediaFormats[static_cast<size_t>(row)];
}

int FindMediaFormat(std::string_view extension, int kind) {
    const size_t last = extension.find_last_not_of('.');
    if (last == std::string_view::npos) {
        return -1;
    }
    extension = extension.substr(0, last + 1);
    extension.remove_prefix(extension.find_first_not_of('.'));

    for (int row = 0; row < kMediaFormatCount; ++row) {
        const MediaFormat& format = kMediaFormats[static_cast<size_t>(row)];
        if (kind == MEDIA_KIND_AUDIO && !std::string_view(format.mimeType).starts_with("audio")) {
            continue;
        }
        std::string_view list = format.extensions;
        while (!list.empty()) {
            const size_t semicolon = list.find(';');
            const std::string_view piece = list.substr(0, semicolon);
            if (!piece.empty() && EqualsNoCase(piece, extension)) {
                return row;
            }
            if (semicolon == std::string_view::npos) {
                break;
            }
            list.remove_prefix(semicolon + 1);
        }
    }
    return -1;
}
