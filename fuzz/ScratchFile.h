#pragma once
// One scratch file for the life of the process, rewritten for every input,
// because the loader reads by path. It is an anonymous memory file of this
// process (memfd), loaded as /proc/self/fd/N: nothing touches the disk and
// nothing is left behind when the process dies. Where memfd is missing, a
// per-process file in /dev/shm or /tmp is used and removed by the destructor.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace rovanta::fuzz {

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
        Fail("no scratch file");
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile()
    {
        ::close(fd_);
        if (unlinkAtExit_) ::unlink(path_.c_str());
    }

    // The file then holds exactly `bytes`; returns its path.
    const std::string& Write(std::span<const std::uint8_t> bytes)
    {
        if (::ftruncate(fd_, 0) != 0) Fail("ftruncate");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
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

}  // namespace rovanta::fuzz
