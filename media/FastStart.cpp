// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/FastStart.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <future>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/CFileDescriptor.h"
#include "core/CSiteFolder.h"
#include "core/Folders.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "core/StringTable.h"
#include "media/Encoder.h"
#include "media/EncodedCheck.h"
#include "media/MediaInfo2.h"
#include "media/OutputLines.h"
#include "media/VideoThumbnail.h"

namespace {

// ffmpeg copying every stream of `source` into `target` with the index first; -progress gives
// the bytes written so far as "total_size=" lines on standard output.
class CFastStartRun : public CEncoder {
public:
    CFastStartRun(const std::string& source, const std::string& target,
                  std::function<bool(uint64_t)> progress)
        : CEncoder(nullptr), m_strFfmpeg(GetFfmpegPath(source)), m_progress(std::move(progress)) {
        m_bSeparateErrors = true;
        m_arrArgs = {"-nostdin",   "-hide_banner", "-loglevel", "error",
                     "-nostats",   "-progress",    "pipe:1",    "-stats_period",
                     "0.2",        "-i",           source,      "-map",
                     "0",          "-c",           "copy",      "-movflags",
                     "+faststart", "-f",           "mp4",       "-y",
                     target};
    }
    std::string GetEncoderPath() override { return m_strFfmpeg; }
    bool ParseLine(const std::string& line) override {
        constexpr std::string_view kSize = "total_size=";
        if (line.starts_with(kSize) && m_progress && !IsCancelled() &&
            !m_progress(static_cast<uint64_t>(std::max<int64_t>(
                0, ParseLeadingInt64(std::string_view(line).substr(kSize.size())))))) {
            Cancel();
        }
        return true;
    }

private:
    std::string m_strFfmpeg;
    std::function<bool(uint64_t)> m_progress;
};

uint64_t BigEndian(std::string_view bytes) {
    uint64_t value = 0;
    for (const char c : bytes) {
        value = value << 8 | static_cast<unsigned char>(c);
    }
    return value;
}

// Whether the file's top-level boxes put "moov" before "mdat"; where it is and its size if so.
bool FindIndex(int fd, uint64_t& offset, uint64_t& size) {
    offset = 0;
    for (int boxes = 0; boxes < 64; ++boxes) {
        char head[16];
        if (::pread(fd, head, sizeof head, static_cast<off_t>(offset)) < 8) {
            return false;
        }
        const std::string_view type(head + 4, 4);
        size = BigEndian(std::string_view(head, 4));
        if (size == 1) {
            size = BigEndian(std::string_view(head + 8, 8));
        }
        if (type == "moov" || type == "mdat" || size < 8) {
            return type == "moov" && size >= 8;
        }
        offset += size;
    }
    return false;
}

// Calls `visit` with the type and the contents of each whole box in `data`.
template <typename Visit>
void ForEachBox(std::string_view data, Visit&& visit) {
    while (data.size() >= 8) {
        uint64_t size = BigEndian(data.substr(0, 4));
        size_t header = 8;
        if (size == 1 && data.size() >= 16) {
            size = BigEndian(data.substr(8, 8));
            header = 16;
        }
        if (size < header || size > data.size()) {
            return;
        }
        visit(data.substr(4, 4), data.substr(header, size - header));
        data.remove_prefix(size);
    }
}

// The length and the kinds of tracks the index of the rewrite at `path` declares: all a stream
// copy is held to, read without starting the media library again.
bool ReadIndex(const std::string& path, CMediaInfo2& details) {
    constexpr uint64_t kLargestIndex = uint64_t{256} << 20;
    CFileDescriptor fd = OpenToRead(path, O_NOFOLLOW);
    uint64_t offset = 0, size = 0;
    if (!fd.valid() || !FindIndex(fd.get(), offset, size) || size > kLargestIndex) {
        return false;
    }
    std::string moov(size, '\0');
    if (::pread(fd.get(), moov.data(), size, static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(size)) {
        return false;
    }
    uint64_t timescale = 0, duration = 0;
    details.m_nVideoCount = details.m_nAudioCount = 0;
    ForEachBox(std::string_view(moov).substr(8), [&](std::string_view type, std::string_view box) {
        const bool v1 = !box.empty() && box[0] == 1;
        if (type == "mvhd" && box.size() >= (v1 ? 32u : 20u)) {
            timescale = BigEndian(box.substr(v1 ? 20 : 12, 4));
            duration = BigEndian(box.substr(v1 ? 24 : 16, v1 ? 8 : 4));
        } else if (type == "trak") {
            ForEachBox(box, [&](std::string_view, std::string_view mdia) {
                ForEachBox(mdia, [&](std::string_view inner, std::string_view hdlr) {
                    const std::string_view handler =
                        inner == "hdlr" && hdlr.size() >= 12 ? hdlr.substr(8, 4) : "";
                    details.m_nVideoCount += handler == "vide";
                    details.m_nAudioCount += handler == "soun";
                });
            });
        }
    });
    details.m_fDuration =
        timescale
            ? static_cast<float>(static_cast<double>(duration) / static_cast<double>(timescale))
            : 0;
    return timescale != 0 && details.m_nVideoCount + details.m_nAudioCount > 0;
}

// ffmpeg may say it is done with the file cut short (a full disk on writing the trailer): what
// it made is read again before anything copies it into a site.
std::optional<EncodedProblem> CheckRewrite(const EncodedExpectation& expected,
                                           const std::string& made, const std::string& errors) {
    std::vector<std::string> words;
    COutputLines said;
    said.Append(errors, [&words](const std::string& line) { words.push_back(line); });
    if (!said.Pending().empty()) {
        words.push_back(said.Pending());
    }
    CMediaInfo2 details;
    return CheckEncodedResult(expected, made, words, details, &ReadIndex);
}

// ffmpeg's hash of each stream's packets, one line each.
class CStreamHashes : public CEncoder {
public:
    CStreamHashes(const std::string& ffmpeg, const std::string& input)
        : CEncoder(nullptr), m_strFfmpeg(ffmpeg) {
        m_bSeparateErrors = true;
        m_arrArgs = {"-nostdin", "-hide_banner", "-loglevel", "error",  "-i",
                     input,      "-map",         "0",         "-c",     "copy",
                     "-f",       "streamhash",   "-hash",     "sha256", "-"};
    }
    std::string GetEncoderPath() override { return m_strFfmpeg; }
    bool ParseLine(const std::string& line) override {
        if (m_strHashes.size() < 65536) {
            m_strHashes += line + "\n";
        }
        return true;
    }
    // Empty when ffmpeg failed.
    std::string Run() { return Start() ? m_strHashes : std::string(); }

private:
    std::string m_strFfmpeg, m_strHashes;
};

}  // namespace

CFastStartCopy::~CFastStartCopy() {
    Discard();
}

void CFastStartCopy::Discard() {
    if (!m_strTemp.empty()) {
        RemoveWorkingFile(m_strTemp);
        m_strTemp.clear();
    }
    if (!m_strFolder.empty()) {
        ::rmdir(m_strFolder.c_str());
        m_strFolder.clear();
    }
}

bool CFastStartCopy::Make(const std::string& source, const std::string& workFolder,
                          const CopyProgress& progress) {
    Discard();
    m_bCancelled = false;
    m_strProblem.clear();
    struct stat st {};
    std::string problem;
    if (::stat(source.c_str(), &st) != 0) {
        const int error = errno;
        return Fail(error, GetErrorText(error), false);
    }
    const auto total = static_cast<uint64_t>(st.st_size);
    // Named with our process id, so that a later run clears it away once we are gone.
    const std::string folder = MakePrivateFolder(workFolder, kDebrisPrefix, problem);
    if (folder.empty()) {
        const int error = errno;
        return Fail(error, GetErrorText(error), false);
    }
    m_strFolder = folder;
    m_strTemp = folder + "/faststart.mp4";

    CLog::Instance()->Write("Fast start: \"%s\" -> \"%s\"\r\n", source, m_strTemp);
    CFastStartRun run(source, m_strTemp, [&](uint64_t done) {
        return !progress || progress(std::min(done, total), total);
    });
    // What the result is held against, read from the source while ffmpeg works.
    auto expected =
        std::async(std::launch::async, [&source]() -> std::optional<EncodedExpectation> {
            CMediaInfo2 original;
            if (!original.Parse(source, CMediaInfo2::HEADERS)) {
                return std::nullopt;
            }
            return EncodedExpectation::Of(original);
        });
    run.Start();
    const ProcessResult& result = run.LastResult();
    m_bCancelled = run.IsCancelled();
    // A stop asked for once ffmpeg had nothing more to say still counts.
    if (result.Succeeded() && !m_bCancelled && progress && !progress(total, total)) {
        m_bCancelled = true;
    }
    if (result.Succeeded() && !m_bCancelled) {
        const std::optional<EncodedExpectation> expectation = expected.get();
        const auto broken =
            expectation
                ? CheckRewrite(*expectation, m_strTemp, run.ErrorsTail())
                : EncodedProblem{0, fmt::sprintf(LoadStringRes(IDS_MEDIA_UNREADABLE), source)};
        if (!broken) {
            // The published file gets the source's permissions, as a plain copy would.
            return SetWorkingFileMode(m_strTemp, (st.st_mode & 0777) | S_IWUSR);
        }
        return Fail(broken->error != 0 ? broken->error : EIO, broken->text, true);
    }
    if (m_bCancelled || result.cancelled) {
        m_bCancelled = true;
        return Fail(ECANCELED, GetErrorText(ECANCELED), true);
    }
    if (!result.started) {
        const int error = result.startError != 0 ? result.startError : ENOENT;
        return Fail(error, run.GetEncoderPath() + ": " + GetErrorText(error), true);
    }
    // The last line ffmpeg wrote on standard error is the one that says why it failed.
    const std::string said = LastLine(run.ErrorsTail());
    return Fail(EIO, said.empty() ? run.GetEncoderPath() + " failed" : said, true);
}

bool CFastStartCopy::Fail(int error, const std::string& problem, bool log) {
    m_strProblem = problem;
    if (log) {
        CLog::Instance()->Write("Fast start failed: %s\r\n", m_strProblem);
    }
    Discard();
    errno = error;
    return false;
}

bool CFastStartCopy::Commit(const std::string& target) {
    if (m_strTemp.empty()) {
        errno = ENOENT;
        return false;
    }
    if (!MoveWorkingFile(m_strTemp, target)) {
        const int error = errno;
        m_strProblem = GetErrorText(error);
        Discard();
        errno = error;
        return false;
    }
    m_strTemp.clear();
    Discard();
    return true;
}

bool IsFastStartCopyOf(const std::string& source, int publishedFd) {
    uint64_t offset = 0, size = 0;
    if (!FindIndex(publishedFd, offset, size)) {
        return false;
    }
    // ffmpeg reads the open file itself, not whatever its name holds by then.
    const std::string published =
        "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(publishedFd);
    const std::string ffmpeg = GetFfmpegPath(source);
    const std::string ours = CStreamHashes(ffmpeg, source).Run();
    return !ours.empty() && ours == CStreamHashes(ffmpeg, published).Run();
}

bool FastStartCopyFile(const std::string& source, const std::string& target,
                       const CopyProgress& progress, std::string* problem) {
    CFastStartCopy copy;
    const bool done = copy.Make(source, GetPathFolder(target), progress) && copy.Commit(target);
    if (!done && problem) {
        const int error = errno;
        *problem = copy.Problem();
        errno = error;
    }
    return done;
}
