// libFuzzer target: arbitrary bytes as a file the user loads, through the
// whole load path and the passes Play and Save run on the song (LoadPath.h).
// A broken rule prints which one and traps, so libFuzzer keeps the input.
//
// The loader reads by path, so each input is written to an anonymous memory
// file of this process (memfd) and loaded as /proc/self/fd/N: nothing touches
// the disk and nothing is left behind when the process dies. Where memfd is
// missing, a per-process file in /dev/shm or /tmp is used and removed at exit.
//
// Flags (scripts/test passes -timeout=10 -rss_limit_mb=2048): inputs beyond
// 393,216 bytes only reach the cut-off paths, so -max_len=400000 covers every
// limit without making mutation slow; fuzz_load.options holds the same values.
//
//   fuzz_load -max_len=400000 -timeout=10 -rss_limit_mb=2048 CORPUS_DIR fuzz/corpus ../shared/corpus
//   fuzz_load -minimize_crash=1 -runs=20000 -exact_artifact_path=OUT CRASH_FILE

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/LoadPath.h"

namespace {

// One scratch file for the life of the process, rewritten for every input.
class ScratchFile {
public:
    ScratchFile()
    {
#ifdef MFD_CLOEXEC
        fd_ = ::memfd_create("rovanta-fuzz-input", MFD_CLOEXEC);
        if (fd_ >= 0) {
            path_ = "/proc/self/fd/" + std::to_string(fd_);
            return;
        }
#endif
        for (const char* dir : {"/dev/shm", "/tmp"}) {
            std::string candidate = std::string(dir) + "/rovanta-fuzz-" + std::to_string(::getpid()) + ".mid";
            fd_ = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd_ >= 0) {
                path_ = std::move(candidate);
                unlinkAtExit_ = true;
                return;
            }
        }
        std::perror("fuzz_load: no scratch file");
        std::abort();
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile()
    {
        ::close(fd_);
        if (unlinkAtExit_) ::unlink(path_.c_str());
    }

    const std::string& Write(const std::uint8_t* data, std::size_t size)
    {
        if (::ftruncate(fd_, 0) != 0) Fail("ftruncate");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Fail("pwrite");
            done += static_cast<std::size_t>(n);
        }
        return path_;
    }

private:
    [[noreturn]] static void Fail(const char* what)
    {
        std::perror(what);
        std::abort();
    }

    int fd_ = -1;
    std::string path_;
    bool unlinkAtExit_ = false;
};

[[noreturn]] void Violated(std::string_view step, std::string_view rule)
{
    std::fprintf(stderr, "fuzz_load: after %.*s: %.*s\n", static_cast<int>(step.size()), step.data(),
                 static_cast<int>(rule.size()), rule.data());
    __builtin_trap();
}

// Keeps the report digest alive, so reading the report texts is not optimised away.
volatile std::uint64_t g_digest = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static ScratchFile scratch;
    const std::string& path = scratch.Write(data, size);
    const rovanta::fuzz::LoadOutcome outcome = rovanta::fuzz::RunLoadPath(path, Violated);
    g_digest = outcome.digest;
    return 0;
}
