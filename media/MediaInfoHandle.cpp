// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaInfoHandle.h"

#include <cstddef>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CFileDescriptor.h"
#include "core/CodePage.h"
#include "core/Folders.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "core/Process.h"
#include "media/MediaFields.h"

#ifndef DEDE5_LIBEXEC_RELATIVE
#define DEDE5_LIBEXEC_RELATIVE "libexec/dede5-varodo"
#endif

namespace {

constexpr const char* kProbeName = "dede5-media-probe";
// A two-hour 1080p film took 37 MB; damaged files were seen to ask for 3 GiB again and again,
// and take the longer to refuse the more they may have.
#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer reserves terabytes of address space at start: the time limits must do.
constexpr size_t kProbeAddressSpace_bytes = 0;
#else
constexpr size_t kProbeAddressSpace_bytes = size_t{512} << 20;
#endif
constexpr int kProbeCpu_s = 10;
// Reading a two-hour film took under a second; the rest is for slow disks.
constexpr int kProbeTime_ms = 20000;
// Far more than the fields of any real file.
constexpr size_t kLongestAnswer = 8 * 1024 * 1024;

// The child's answers for files read before, so that a file unchanged since is not read twice
// in one run (the fast-start step reads the media that was checked just before). A file is the
// same while its device, inode, size, modification and change times are; an answer is kept only
// for a file last changed before the clock tick the probe started in, since a change within
// that tick would leave its times as they were.
class CProbeMemo {
public:
    using Fields = std::map<std::string, std::string>;

    std::optional<Fields> Find(const struct stat& st, bool headersOnly) {
        const std::lock_guard lock(m_mutex);
        for (const Entry& entry : m_entries) {
            if (Same(entry.st, st) && (headersOnly || !entry.headersOnly)) {
                return entry.fields;
            }
        }
        return std::nullopt;
    }

    void Keep(const struct stat& st, bool headersOnly, const Fields& fields, timespec started) {
        if (!Before(st.st_ctim, started)) {
            return;
        }
        const std::lock_guard lock(m_mutex);
        m_entries.push_front({st, headersOnly, fields});
        if (m_entries.size() > kKept) {
            m_entries.pop_back();
        }
    }

private:
    static constexpr size_t kKept = 8;
    struct Entry {
        struct stat st;
        bool headersOnly;
        Fields fields;
    };
    static bool Before(const timespec& a, const timespec& b) {
        return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
    }
    static bool Equal(const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
    static bool Same(const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               Equal(a.st_mtim, b.st_mtim) && Equal(a.st_ctim, b.st_ctim);
    }

    std::mutex m_mutex;
    std::deque<Entry> m_entries;
};

CProbeMemo g_probed;

// The clock file times are taken from.
timespec CoarseNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

// Beside the program in the build tree; in <prefix>/libexec/dede5-varodo when installed.
const std::string& ProbeProgram() {
    static const std::string program = [] {
        const std::string module = GetModuleFolder();
        const std::string candidates[] = {
            module + "/" + kProbeName,
            CombinePath(GetPathFolder(module), DEDE5_LIBEXEC_RELATIVE) + "/" + kProbeName};
        for (const std::string& candidate : candidates) {
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        return std::string();
    }();
    return program;
}

}  // namespace

CMediaInfoHandle::CMediaInfoHandle(MediaReaderFactory inProcess)
    : m_pReader(inProcess ? inProcess() : nullptr) {}

CMediaInfoHandle::~CMediaInfoHandle() = default;

bool CMediaInfoHandle::IsReady() const {
    return !m_pReader || m_pReader->IsReady();
}

bool CMediaInfoHandle::Open(const std::string& path, bool headersOnly) {
    m_mapFields.clear();
    if (!IsReady()) {
        return false;
    }
    // Non-blocking, so a named pipe called "x.mp4" cannot hang the open.
    CFileDescriptor file = OpenToRead(path, O_NONBLOCK);
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    if (m_pReader) {
        return m_pReader->Open(file.get(), path, headersOnly);
    }
    if (auto known = g_probed.Find(st, headersOnly)) {
        m_mapFields = std::move(*known);
        return true;
    }
    const timespec started = CoarseNow();
    if (!RunProbe(file.get(), path, headersOnly)) {
        return false;
    }
    g_probed.Keep(st, headersOnly, m_mapFields, started);
    return true;
}

bool CMediaInfoHandle::RunProbe(int fd, const std::string& path, bool headersOnly) {
    if (ProbeProgram().empty()) {
        CLog::Instance()->Write("Error: %s is not installed.\r\n", kProbeName);
        return false;
    }
    ProcessRequest request;
    // The child reads the very file checked here, by its descriptor; the name is for systems
    // without /proc.
    request.argv = {ProbeProgram(), headersOnly ? "--headers-only" : "--full", path};
    request.input = ProcessInput::Descriptor;
    request.inputFd = fd;
    request.separateErrors = true;
    request.cancelGrace_ms = 0;
    request.addressSpaceLimit_bytes = kProbeAddressSpace_bytes;
    request.cpuLimit_s = kProbeCpu_s;
    request.timeLimit_ms = kProbeTime_ms;

    CProcess probe;
    std::string answer;
    bool tooLong = false;
    probe.Start(request);
    const ProcessResult result = probe.Wait([&](std::string_view chunk) {
        if (answer.size() + chunk.size() > kLongestAnswer) {
            tooLong = true;
            probe.Cancel();
        } else if (!tooLong) {
            answer += chunk;
        }
    });
    if (result.Succeeded() && !tooLong) {
        if (auto fields = ParseMediaFields(answer)) {
            m_mapFields = std::move(*fields);
            return true;
        }
    }
    // Exit status 1 is the library's own refusal, which needs no words.
    if (!result.exited || result.exitCode != 1) {
        CLog::Instance()->Write("Error: %s: start error %d, exit status %d, signal %d%s%s.\r\n",
                                kProbeName, result.startError, result.exitCode, result.signal,
                                result.timedOut ? ", out of time" : "",
                                tooLong ? ", answer too long" : "");
    }
    return false;
}

std::string CMediaInfoHandle::Get(StreamKind kind, size_t number, const char* parameter) const {
    std::string utf8;
    if (m_pReader) {
        utf8 = m_pReader->Get(kind, number, parameter);
    } else if (const auto found = m_mapFields.find(MediaFieldKey(kind, number, parameter));
               found != m_mapFields.end()) {
        utf8 = found->second;
    }
    return codepage::Utf8ToSystem(utf8).value_or(utf8);
}
