// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/EncodedCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include "core/CFileDescriptor.h"
#include "core/Folders.h"
#include "core/PathUtils.h"
#include "core/StringTable.h"

namespace {

// ffmpeg words an error in English or in the C library's language; both are looked for.
struct WriteError {
    int error;
    const char* english;
};
constexpr WriteError kWriteErrors[] = {
    {ENOSPC, "No space left on device"},
    {EDQUOT, "Disk quota exceeded"},
    {EFBIG, "File too large"},
    {EIO, "Input/output error"},
};

bool Names(const std::string& word, const WriteError& e) {
    return word.find(e.english) != std::string::npos ||
           word.find(::strerror(e.error)) != std::string::npos;
}

bool IsWriteFailure(const std::string& word) {
    return word.starts_with("Error writing") || word.starts_with("Error closing") ||
           word.find("write_frame()") != std::string::npos;
}

bool ReadAt(int fd, uint64_t offset, unsigned char* buffer, size_t size) {
    return ::pread(fd, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

uint64_t BigEndian(const unsigned char* bytes, size_t size) {
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

std::string CutOff(uint64_t have, uint64_t need) {
    return fmt::sprintf(LoadStringRes(IDS_RESULT_CUT_OFF), have, need);
}

// The top-level boxes must fill the file exactly, and the index must be among them.
std::optional<std::string> CheckMp4Boxes(int fd, uint64_t size) {
    uint64_t offset = 0;
    bool index = false;
    while (offset < size) {
        unsigned char header[16];
        if (size - offset < 8 || !ReadAt(fd, offset, header, 8)) {
            return CutOff(size, offset + 8);
        }
        uint64_t length = BigEndian(header, 4);
        index = index || std::memcmp(header + 4, "moov", 4) == 0;
        if (length == 0) {
            break;
        }
        if (length == 1) {
            if (size - offset < 16 || !ReadAt(fd, offset + 8, header + 8, 8)) {
                return CutOff(size, offset + 16);
            }
            length = BigEndian(header + 8, 8);
        }
        if (length < 8 || length > size - offset) {
            return CutOff(size, offset + length);
        }
        offset += length;
    }
    if (!index) {
        return LoadStringRes(IDS_RESULT_NO_INDEX);
    }
    return std::nullopt;
}

// An EBML variable-length number at `offset`; its length in `used`. `marker` keeps the length
// bits (element IDs do), and a size of all ones (unknown) reads as UINT64_MAX.
std::optional<uint64_t> ReadVint(int fd, uint64_t offset, bool marker, size_t& used) {
    unsigned char bytes[8];
    if (!ReadAt(fd, offset, bytes, 1) || bytes[0] == 0) {
        return std::nullopt;
    }
    used = 1;
    while (!(bytes[0] & (0x80 >> (used - 1)))) {
        ++used;
    }
    if (used > 1 && !ReadAt(fd, offset + 1, bytes + 1, used - 1)) {
        return std::nullopt;
    }
    uint64_t value = marker ? bytes[0] : bytes[0] & (0xFF >> used);
    bool allOnes = value == (0xFFu >> used);
    for (size_t i = 1; i < used; ++i) {
        value = value << 8 | bytes[i];
        allOnes = allOnes && bytes[i] == 0xFF;
    }
    return !marker && allOnes ? UINT64_MAX : value;
}

// The EBML header and the segment that follows it must both end inside the file.
std::optional<std::string> CheckWebmElements(int fd, uint64_t size) {
    uint64_t offset = 0;
    for (int element = 0; element < 2 && offset < size; ++element) {
        size_t idLength = 0, sizeLength = 0;
        const auto id = ReadVint(fd, offset, true, idLength);
        const auto length = id ? ReadVint(fd, offset + idLength, false, sizeLength) : std::nullopt;
        if (!length) {
            return CutOff(size, offset + 12);
        }
        if (*length == UINT64_MAX) {
            return std::nullopt;
        }
        const uint64_t end = offset + idLength + sizeLength + *length;
        if (end > size) {
            return CutOff(size, end);
        }
        offset = end;
    }
    return std::nullopt;
}

std::optional<std::string> CheckContainer(const std::string& path, int& error) {
    CFileDescriptor fd = OpenToRead(path, O_NOFOLLOW);
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        error = errno;
        return fmt::sprintf(LoadStringRes(IDS_RESULT_UNREADABLE), GetErrorText(error));
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        return LoadStringRes(S_ISREG(st.st_mode) ? IDS_RESULT_EMPTY : IDS_RESULT_NOT_A_FILE);
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    unsigned char head[8];
    if (!ReadAt(fd.get(), 0, head, sizeof head)) {
        return CutOff(size, sizeof head);
    }
    if (std::memcmp(head + 4, "ftyp", 4) == 0) {
        return CheckMp4Boxes(fd.get(), size);
    }
    if (BigEndian(head, 4) == 0x1A45DFA3) {
        return CheckWebmElements(fd.get(), size);
    }
    return std::nullopt;
}

}  // namespace

bool EncodedProblem::NoRoom() const {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

EncodedExpectation EncodedExpectation::Of(const CMediaInfo2& source) {
    return {std::max<double>(source.m_fDuration, 0), source.m_nVideoCount > 0,
            source.m_nAudioCount > 0};
}

std::optional<EncodedProblem> ProblemInEncoderWords(const std::vector<std::string>& words) {
    std::optional<EncodedProblem> problem;
    for (const std::string& word : words) {
        for (const WriteError& e : kWriteErrors) {
            if (Names(word, e) && (!problem || problem->error == 0 || e.error != EIO)) {
                problem = EncodedProblem{e.error, word};
            }
        }
        if (!problem && IsWriteFailure(word)) {
            problem = EncodedProblem{0, word};
        }
    }
    return problem;
}

std::optional<EncodedProblem> CheckEncodedResult(const EncodedExpectation& expected,
                                                 const std::string& result,
                                                 const std::vector<std::string>& ffmpegWords,
                                                 CMediaInfo2& details, ResultReader read) {
    if (auto problem = ProblemInEncoderWords(ffmpegWords)) {
        problem->text = fmt::sprintf(LoadStringRes(IDS_FFMPEG_WRITE_FAILED), problem->text);
        return problem;
    }
    int error = 0;
    if (auto broken = CheckContainer(result, error)) {
        return EncodedProblem{error, fmt::sprintf(LoadStringRes(IDS_FFMPEG_INCOMPLETE), *broken)};
    }
    if (!(read ? read(result, details) : details.Parse(result, CMediaInfo2::HEADERS))) {
        return EncodedProblem{0, LoadStringRes(IDS_FFMPEG_RESULT_UNREADABLE)};
    }
    if ((expected.video && details.m_nVideoCount == 0) ||
        (expected.audio && details.m_nAudioCount == 0)) {
        return EncodedProblem{0, LoadStringRes(details.m_nVideoCount ? IDS_FFMPEG_RESULT_NO_SOUND
                                                                     : IDS_FFMPEG_RESULT_NO_VIDEO)};
    }
    // ffmpeg copies or encodes what it can read and calls that a success: an original that
    // breaks off early shows only in the length of the result.
    const double tolerance = std::max(0.5, expected.duration_s * 0.02);
    if (expected.duration_s > 0 && details.m_fDuration + tolerance < expected.duration_s) {
        return EncodedProblem{0, fmt::sprintf(LoadStringRes(IDS_RESULT_SHORTER),
                                              details.m_fDuration, expected.duration_s)};
    }
    return std::nullopt;
}
