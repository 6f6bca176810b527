#include "support/FileAccess.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

#include "support/Report.h"
#include "support/RunContext.h"

namespace rovanta {

namespace fs = std::filesystem;

namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, CloseFile>;

// A name with an embedded NUL would silently open a shorter name.
bool IsUsablePath(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

FilePtr OpenForReading(const std::string& path)
{
    if (!IsUsablePath(path)) return nullptr;
    return FilePtr(std::fopen(path.c_str(), "rb"));
}

// Some systems let a directory be opened like a file and only fail on the
// first read; with nothing to read that failure would never show.
bool IsDirectory(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

// Reads up to n bytes; false on a read error.
bool ReadInto(std::FILE* file, std::uint8_t* buffer, std::uint32_t n, std::uint32_t* got)
{
    *got = 0;
    if (n == 0) return true;
    *got = static_cast<std::uint32_t>(std::fread(buffer, 1, n, file));
    return !std::ferror(file);
}

// Follows a chain of symbolic links from `path`, so that saving through a link
// replaces the file it names and keeps the link.
fs::path ResolveLinks(fs::path path)
{
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
        fs::path next = fs::read_symlink(path, ec);
        if (ec) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Creates a new file beside `target` that no one else has; null when the
// directory does not allow it.
FilePtr CreateTempBeside(const fs::path& target, fs::path& tempPath)
{
    // Exclusive create settles any collision, so a clock seed is unique enough.
    thread_local std::mt19937_64 random{static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count())};
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // Keep the temporary name within the usual 255-byte name limit.
    const std::string base = target.filename().string().substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp",
                      static_cast<unsigned long long>(random()));
        tempPath = dir / ("." + base + suffix);
        errno = 0;
        // "x": exclusive create, so an existing file is never taken over.
        if (std::FILE* f = std::fopen(tempPath.string().c_str(), "wbx")) return FilePtr(f);
        if (errno != EEXIST) break;
    }
    tempPath.clear();
    return nullptr;
}

// Writes, flushes and closes, checking each step; the file is closed in all cases.
// `sync` (regular files only) puts the data on disk before a rename makes it the file.
bool WriteAndClose(FilePtr file, const std::uint8_t* buffer, std::uint32_t n, bool sync)
{
    bool ok = n == 0 || std::fwrite(buffer, 1, n, file.get()) == n;
    ok = std::fflush(file.get()) == 0 && ok;
#if defined(__unix__) || defined(__APPLE__)
    ok = ok && (!sync || ::fsync(::fileno(file.get())) == 0);
#else
    (void)sync;
#endif
    return std::fclose(file.release()) == 0 && ok;
}

}  // namespace

int ReadWholeFile(RunContext& ctx, const std::string& path, std::uint8_t* buffer,
                  std::uint32_t* count, std::uint32_t capacity)
{
    std::uint32_t got = 0;
    if (count) *count = 0;
    FilePtr file = OpenForReading(path);
    if (!file) {
        ctx.Show(path);
        ReportGeneralError(ctx, gene::kCantOpenFile);
        return 0;
    }
    // Without a buffer (its allocation already failed) nothing may be written.
    if (!buffer) capacity = 0;
    if (IsDirectory(path) || !ReadInto(file.get(), buffer, capacity, &got)) {
        ReportGeneralError(ctx, gene::kCantReadFile);
        return 0;
    }
    if (count) *count = got;
    if (capacity == kLargeReadCapacity && got == capacity)
        ReportGeneralError(ctx, gene::kDataSizeTooLarge);
    return 1;
}

int ReadFileExact(RunContext& ctx, const std::string& path, std::uint8_t* buffer,
                  std::uint32_t n)
{
    FilePtr file = OpenForReading(path);
    if (!file) {
        ReportGeneralError(ctx, gene::kCantOpenFile);
        return 0;
    }
    if (!buffer) n = 0;
    std::uint32_t got = 0;
    if (IsDirectory(path) || !ReadInto(file.get(), buffer, n, &got)) {
        ReportGeneralError(ctx, gene::kCantReadFile);
        return 0;
    }
    if (got != n) ReportGeneralError(ctx, gene::kDataSizeTooLarge);
    return 1;
}

int WriteWholeFile(RunContext& ctx, const std::string& path, const std::uint8_t* buffer,
                   std::uint32_t n)
{
    if (!IsUsablePath(path) || (n != 0 && !buffer)) {
        ReportGeneralError(ctx, gene::kCantOpenFile);
        return 0;
    }
    const fs::path target = ResolveLinks(fs::path(path));
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    const bool exists = fs::exists(status);

    // A directory cannot be opened for writing, and a file we may not write must
    // not be replaced behind its owner's back ("ab" leaves the file as it is).
    if (fs::is_directory(status) ||
        (fs::is_regular_file(status) && !FilePtr(std::fopen(target.string().c_str(), "ab")))) {
        ReportGeneralError(ctx, gene::kCantOpenFile);
        return 0;
    }

    // Devices and pipes are written in place: renaming over them would replace
    // the device node instead of writing to it.
    if (exists && !fs::is_regular_file(status)) {
        FilePtr file(std::fopen(target.string().c_str(), "wb"));
        if (!file) {
            ReportGeneralError(ctx, gene::kCantOpenFile);
            return 0;
        }
        if (!WriteAndClose(std::move(file), buffer, n, false)) {
            ReportGeneralError(ctx, gene::kCantWriteFile);
            return 0;
        }
        return 1;
    }

    fs::path tempPath;
    FilePtr temp = CreateTempBeside(target, tempPath);
    if (!temp) {
        ReportGeneralError(ctx, gene::kCantOpenFile);
        return 0;
    }
    bool ok = WriteAndClose(std::move(temp), buffer, n, true);
    if (ok && exists) {
        fs::permissions(tempPath, status.permissions(), fs::perm_options::replace, ec);
        ok = !ec;
    }
    if (ok) {
        fs::rename(tempPath, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(tempPath, ec);
        ReportGeneralError(ctx, gene::kCantWriteFile);
        return 0;
    }
    return 1;
}

int FileCanOpen(const std::string& path)
{
    return OpenForReading(path) && !IsDirectory(path) ? 1 : 0;
}

std::uint32_t FileSizeOf(RunContext& ctx, const std::string& path)
{
    if (!IsUsablePath(path)) return 0;
    std::error_code ec;
    const fs::path name(path);
    if (!fs::is_regular_file(name, ec)) return 0;
    const std::uintmax_t size = fs::file_size(name, ec);
    if (ec) return 0;
    if (size >> 32) ReportGeneralError(ctx, gene::kFileSizeError);
    return static_cast<std::uint32_t>(size);
}

}  // namespace rovanta
