// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/StreamMaker.h"

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include <fmt/format.h>
#include <fmt/printf.h>

#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"
#include "media/EncodedCheck.h"

namespace {

// Heights and H.264 rates of the usual ladder, best first.
constexpr Rendition kRungs[] = {{1080, 5000}, {720, 2800}, {480, 1400}, {360, 800}};
// Seconds a segment lasts: a player changes quality between two of them.
constexpr int kSegmentSeconds = 4;
constexpr const char* kSoundRate = "128k";

// The lines of a playlist that are not tags: the files it names.
std::vector<std::string> NamedFiles(const std::string& playlist, double* seconds = nullptr) {
    std::ifstream in(playlist);
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("#EXT-X-MAP:URI=\"")) {
            names.push_back(line.substr(16, line.find('"', 16) - 16));
        } else if (line.starts_with("#EXTINF:") && seconds) {
            *seconds += ParseLeadingReal(line.substr(8));
        } else if (!line.empty() && !line.starts_with('#')) {
            names.push_back(line);
        }
    }
    return names;
}

bool IsFileWithContent(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

}  // namespace

std::vector<Rendition> PlanRenditions(int sourceHeight) {
    std::vector<Rendition> renditions;
    // Scalers and H.264 want even sizes.
    const int top = std::min(sourceHeight, kRungs[0].height) & ~1;
    if (top <= 0) {
        return renditions;
    }
    const auto below =
        std::ranges::find_if(kRungs, [&](const Rendition& r) { return r.height <= top; });
    renditions.push_back({top, below == std::end(kRungs) ? kRungs[3].videoKbps : below->videoKbps});
    for (const Rendition& rung : kRungs) {
        if (rung.height < top) {
            renditions.push_back(rung);
        }
    }
    return renditions;
}

std::vector<std::string> CStreamMaker::StreamArguments(const std::vector<Rendition>& renditions,
                                                       bool sound) {
    const size_t count = renditions.size();
    std::string graph = "[0:V:0]", streams;
    if (count > 1) {
        graph += fmt::format("split={}", count);
        for (size_t i = 0; i < count; ++i) {
            graph += fmt::format("[s{}]", i);
        }
    }
    for (size_t i = 0; i < count; ++i) {
        graph += fmt::format("{}scale=-2:{}[v{}]", count > 1 ? fmt::format(";[s{}]", i) : "",
                             renditions[i].height, i);
        streams += fmt::format("{}v:{}{},name:{}", i ? " " : "", i,
                               sound ? fmt::format(",a:{}", i) : "", renditions[i].Name());
    }
    std::vector<std::string> args = {"-sn", "-dn"};
    args.insert(args.end(), {"-filter_complex", graph});
    for (size_t i = 0; i < count; ++i) {
        args.insert(args.end(), {"-map", fmt::format("[v{}]", i)});
    }
    for (size_t i = 0; sound && i < count; ++i) {
        args.insert(args.end(), {"-map", "0:a:0"});
    }
    args.insert(args.end(), {"-c:v", "libx264", "-preset", "fast", "-pix_fmt", "yuv420p"});
    for (size_t i = 0; i < count; ++i) {
        const int kbps = renditions[i].videoKbps;
        args.insert(args.end(),
                    {fmt::format("-b:v:{}", i), fmt::format("{}k", kbps),
                     fmt::format("-maxrate:v:{}", i), fmt::format("{}k", kbps * 107 / 100),
                     fmt::format("-bufsize:v:{}", i), fmt::format("{}k", kbps * 3 / 2)});
    }
    // Keyframes at the same moments in every rendition, and only there, so that segments align.
    args.insert(args.end(),
                {"-force_key_frames", fmt::format("expr:gte(t,n_forced*{})", kSegmentSeconds),
                 "-sc_threshold", "0"});
    if (sound) {
        args.insert(args.end(), {"-c:a", "aac", "-b:a", kSoundRate, "-ac", "2"});
    }
    args.insert(args.end(), {"-f", "hls", "-hls_time", std::to_string(kSegmentSeconds),
                             "-hls_playlist_type", "vod", "-hls_segment_type", "fmp4", "-hls_flags",
                             "independent_segments", "-hls_fmp4_init_filename", "init.mp4",
                             "-master_pl_name", kStreamPlaylist, "-var_stream_map", streams,
                             "-hls_segment_filename", "%v/%03d.m4s", "%v/index.m3u8"});
    return args;
}

CStreamMaker::CStreamMaker(CTask* task, CMediaInfo2 source)
    : CMediaConverter(task, std::move(source)), m_renditions(PlanRenditions(m_source.m_nHeight)) {}

bool CStreamMaker::Start() {
    m_arrArgs = {"-nostdin",  "-hide_banner", "-nostats", "-loglevel",       "error",
                 "-progress", "pipe:1",       "-i",       m_source.m_strPath};
    const auto stream = StreamArguments(m_renditions, m_source.m_nAudioCount > 0);
    m_arrArgs.insert(m_arrArgs.end(), stream.begin(), stream.end());
    m_strArgs.clear();
    // ffmpeg reads "%" in its output names as a pattern: it writes in the stream's folder by
    // relative names, so that no "%" in the user's folders can lead it astray.
    m_strWorkingFolder = m_strTempPath;
    return CEncoder::Start();
}

std::string CStreamMaker::CheckStream() const {
    const std::filesystem::path folder = m_strTempPath;
    const std::vector<std::string> playlists = NamedFiles(folder / kStreamPlaylist);
    if (playlists.size() != m_renditions.size()) {
        return fmt::format("{} of {} renditions listed", playlists.size(), m_renditions.size());
    }
    for (const std::string& playlist : playlists) {
        const std::filesystem::path list = folder / playlist;
        double seconds = 0;
        const std::vector<std::string> files = NamedFiles(list, &seconds);
        if (files.size() < 2) {
            return playlist + " names no segment";
        }
        for (const std::string& file : files) {
            if (file.find('/') != std::string::npos ||
                !IsFileWithContent(list.parent_path() / file)) {
                return playlist + ": " + file + " is missing";
            }
        }
        // A run cut short ends its playlists early.
        if (m_source.m_fDuration > 0 && seconds + 1 < m_source.m_fDuration) {
            return fmt::format("{} lasts {:.1f} of {:.1f} seconds", playlist, seconds,
                               m_source.m_fDuration);
        }
    }
    return {};
}

bool CStreamMaker::Make(const std::string& folder) {
    ClearOutcome();
    if (m_renditions.empty() || m_source.m_nVideoCount == 0) {
        return Fail(LoadStringRes(IDS_STREAM_NO_PICTURE));
    }
    const std::string pattern = PrivateFolderFor(folder);
    if (pattern.empty()) {
        return false;
    }
    m_strTempPath = CombinePath(pattern, GetPathFileName(folder));
    struct TempStream {
        std::string& path;
        std::string folder;
        ~TempStream() {
            DeleteFolder(folder);
            path.clear();
        }
    } temp{m_strTempPath, pattern};
    if (!MakeWorkingFolder(m_strTempPath)) {
        const int error = errno;
        return Fail(fmt::sprintf(LoadStringRes(IDS_CONVERT_NO_FILE), pattern, GetErrorText(error)),
                    error);
    }
    if (!RunEncoder()) {
        return false;
    }
    if (const auto written = ProblemInEncoderWords(m_arrWords)) {
        return Fail(ReasonOfFailure(), written->error);
    }
    if (const std::string missing = CheckStream(); !missing.empty()) {
        return Fail(fmt::sprintf(LoadStringRes(IDS_STREAM_INCOMPLETE), missing));
    }
    if (!MoveWorkingFile(m_strTempPath, folder)) {
        return Fail(
            fmt::sprintf(LoadStringRes(IDS_CONVERT_NOT_NAMED), folder, GetErrorText(errno)));
    }
    Report(m_source.m_fDuration);
    return true;
}
