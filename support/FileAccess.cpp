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

// errno tells why when null.
FilePtr OpenForReading(const std::string& path)
{
    if (!IsUsablePath(path)) {
        errno = EINVAL;
        return nullptr;
    }
    return FilePtr(std::fopen(path.c_str(), "rb"));
}

// errno after a failed call, for calls that may fail without setting it.
int LastError()
{
    return errno != 0 ? errno : EIO;
}

// The general report, then the file and the system's reason for whoever can show more.
void ReportFileError(RunContext& ctx, std::uint32_t code, const std::string& path, int error)
{
    ReportGeneralError(ctx, code);
    ctx.NoteFileError(path, error);
}

// Some systems let a directory be opened like a file and only fail on the
// first read; with nothing to read that failure would never show.
bool IsDirectory(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

// Reads up to n bytes; 0, or the errno of the failed read.
int ReadInto(const std::string& path, std::FILE* file, std::uint8_t* buffer, std::uint32_t n,
             std::uint32_t* got)
{
    *got = 0;
    if (IsDirectory(path)) return EISDIR;
    if (n == 0) return 0;
    errno = 0;
    *got = static_cast<std::uint32_t>(std::fread(buffer, 1, n, file));
    return std::ferror(file) ? LastError() : 0;
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

// Creates a new file beside `target` that no one else has; null (errno says
// why) when the directory does not allow it.
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
    const int error = errno;
    tempPath.clear();
    errno = error;
    return nullptr;
}

// Writes, flushes and closes, checking each step; the file is closed in all cases.
// `sync` (regular files only) puts the data on disk before a rename makes it the file.
// 0 when written, else the errno of the first step that failed.
int WriteAndClose(FilePtr file, const std::uint8_t* buffer, std::uint32_t n, bool sync)
{
    int error = 0;
    auto step = [&error](auto&& operation) {
        errno = 0;
        if (!operation() && error == 0) error = LastError();
    };
    step([&] { return n == 0 || std::fwrite(buffer, 1, n, file.get()) == n; });
    step([&] { return std::fflush(file.get()) == 0; });
#if defined(__unix__) || defined(__APPLE__)
    if (error == 0 && sync) step([&] { return ::fsync(::fileno(file.get())) == 0; });
#else
    (void)sync;
#endif
    step([&] { return std::fclose(file.release()) == 0; });
    return error;
}

}  // namespace

int ReadWholeFile(RunContext& ctx, const std::string& path, std::uint8_t* buffer,
                  std::uint32_t* count, std::uint32_t capacity)
{
    std::uint32_t got = 0;
    if (count) *count = 0;
    FilePtr file = OpenForReading(path);
    if (!file) {
        const int error = errno;
        ctx.Show(path);
        ReportFileError(ctx, gene::kCantOpenFile, path, error);
        return 0;
    }
    // Without a buffer (its allocation already failed) nothing may be written.
    if (!buffer) capacity = 0;
    if (const int error = ReadInto(path, file.get(), buffer, capacity, &got)) {
        ReportFileError(ctx, gene::kCantReadFile, path, error);
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
        ReportFileError(ctx, gene::kCantOpenFile, path, errno);
        return 0;
    }
    if (!buffer) n = 0;
    std::uint32_t got = 0;
    if (const int error = ReadInto(path, file.get(), buffer, n, &got)) {
        ReportFileError(ctx, gene::kCantReadFile, path, error);
        return 0;
    }
    if (got != n) ReportGeneralError(ctx, gene::kDataSizeTooLarge);
    return 1;
}

int WriteWholeFile(RunContext& ctx, const std::string& path, const std::uint8_t* buffer,
                   std::uint32_t n)
{
    if (!IsUsablePath(path) || (n != 0 && !buffer)) {
        ReportFileError(ctx, gene::kCantOpenFile, path, EINVAL);
        return 0;
    }
    const fs::path target = ResolveLinks(fs::path(path));
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    const bool exists = fs::exists(status);

    // A directory cannot be opened for writing, and a file we may not write must
    // not be replaced behind its owner's back ("ab" leaves the file as it is).
    if (fs::is_directory(status)) {
        ReportFileError(ctx, gene::kCantOpenFile, path, EISDIR);
        return 0;
    }
    if (fs::is_regular_file(status) && !FilePtr(std::fopen(target.string().c_str(), "ab"))) {
        ReportFileError(ctx, gene::kCantOpenFile, path, errno);
        return 0;
    }

    // Devices and pipes are written in place: renaming over them would replace
    // the device node instead of writing to it.
    if (exists && !fs::is_regular_file(status)) {
        FilePtr file(std::fopen(target.string().c_str(), "wb"));
        if (!file) {
            ReportFileError(ctx, gene::kCantOpenFile, path, errno);
            return 0;
        }
        if (const int error = WriteAndClose(std::move(file), buffer, n, false)) {
            ReportFileError(ctx, gene::kCantWriteFile, path, error);
            return 0;
        }
        return 1;
    }

    fs::path tempPath;
    FilePtr temp = CreateTempBeside(target, tempPath);
    if (!temp) {
        ReportFileError(ctx, gene::kCantOpenFile, path, errno);
        return 0;
    }
    int error = WriteAndClose(std::move(temp), buffer, n, true);
    if (error == 0 && exists) {
        fs::permissions(tempPath, status.permissions(), fs::perm_options::replace, ec);
        error = ec.value();
    }
    if (error == 0) {
        fs::rename(tempPath, target, ec);
        error = ec.value();
    }
    if (error != 0) {
        fs::remove(tempPath, ec);
        ReportFileError(ctx, gene::kCantWriteFile, path, error);
        return 0;
    }
    return 1;
}

int FileCanOpen(const std::string& path, int* error)
{
    int why = 0;
    if (!OpenForReading(path))
        why = errno;
    else if (IsDirectory(path))
        why = EISDIR;
    if (error) *error = why;
    return why == 0 ? 1 : 0;
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
