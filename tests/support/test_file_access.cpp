#include <gtest/gtest.h>

#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "common/Files.h"
#include "common/TestSinks.h"
#include "support/FileAccess.h"
#include "support/RunContext.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Reports = std::vector<std::string>;

const std::string kCantOpen = "GENE01000007 Cant open file!";
const std::string kTooLarge = "GENE0100000A data size is too large!";
const std::string kCantRead = "GENE0100000F Cant read file!";
const std::string kCantWrite = "GENE01000010 Cant write file!";

Bytes Pattern(std::size_t n, unsigned seed)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
    return bytes;
}

class FileAccessTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return dir_ / name; }
    std::string Put(const std::string& name, const Bytes& bytes) const { return dir_.Write(name, bytes); }
    static Bytes Get(const std::string& path) { return test::ReadBytes(path); }

    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The run context was told of the failure behind the last report.
    void ExpectFailure(const std::string& path, int error) const
    {
        const std::optional<FileFailure>& failure = r_.ctx.LastFileFailure();
        ASSERT_TRUE(failure.has_value()) << path;
        EXPECT_EQ(failure->path, path);
        EXPECT_EQ(failure->error, error) << path << ": " << failure->reason;
    }

    test::Recorded r_;
    test::TempDir dir_;
};

// Every failed access reports (the whole-file read names the path first),
// leaves the buffer alone and tells the run context which file and why.
TEST_F(FileAccessTest, EveryFailedAccessNamesTheFileAndTheSystemsReason)
{
    const std::string plain = Put("plain", Pattern(4, 0));
    const std::string folder = PathOf("folder.mid");
    fs::create_directory(folder);
    const std::string missing = PathOf("missing.mid");
    const std::string withNul = plain + std::string(1, '\0') + "x";  // not cut short at the NUL
    Bytes buffer(16, 0xEE);
    std::uint32_t count = 99;
    using Access = std::function<int(const std::string&)>;
    const Access readWhole = [&](const std::string& p) { return ReadWholeFile(r_.ctx, p, buffer.data(), &count, 16); };
    const Access readExact = [&](const std::string& p) { return ReadFileExact(r_.ctx, p, buffer.data(), 4); };
    const Access write = [&](const std::string& p) { return WriteWholeFile(r_.ctx, p, buffer.data(), 4); };
    const struct {
        const Access& access;
        std::string path;
        int error;
        Reports reports;
    } cases[] = {
        {readWhole, missing, ENOENT, {missing, kCantOpen}},
        {readWhole, folder, EISDIR, {kCantRead}},
        {readExact, missing, ENOENT, {kCantOpen}},
        {readExact, folder, EISDIR, {kCantRead}},
        {readExact, withNul, EINVAL, {kCantOpen}},
        {write, plain + "/out.mid", ENOTDIR, {kCantOpen}},
        {write, PathOf("nodir/out.mid"), ENOENT, {kCantOpen}},
        {write, folder, EISDIR, {kCantOpen}},
        {write, "", EINVAL, {kCantOpen}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.access(c.path), 0) << c.path;
        ExpectFailure(c.path, c.error);
        EXPECT_EQ(r_.Take(), c.reports) << c.path;
    }
    EXPECT_EQ(r_.ctx.LastFileFailure()->reason, "Invalid argument");
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buffer, Bytes(16, 0xEE));
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder.mid", "plain"}));
    EXPECT_EQ(Get(plain), Pattern(4, 0));
    EXPECT_TRUE(fs::is_directory(folder));

    // The open check and the size report nothing; the open check can say why.
    for (const auto& [path, error] : {std::pair{missing, ENOENT}, std::pair{folder, EISDIR}, std::pair{plain, 0}}) {
        int why = -1;
        EXPECT_EQ(FileCanOpen(path, &why), error == 0 ? 1 : 0) << path;
        EXPECT_EQ(why, error) << path;
        EXPECT_EQ(FileSizeOf(r_.ctx, path), error == 0 ? 4u : 0u) << path;
    }
    EXPECT_EQ(FileCanOpen(""), 0);
    EXPECT_TRUE(r_.Take().empty());
}

// Only a large buffer filled to the byte, or an exact read that comes short,
// is reported; either way what was read counts.
TEST_F(FileAccessTest, ReadsStopAtTheCapacityAndReportOnlyAFullLargeBufferOrAShortExactRead)
{
    const std::uint32_t big = kLargeReadCapacity;
    const struct {
        const char* name;
        bool exact;  // ReadFileExact, else ReadWholeFile
        std::size_t fileSize;
        std::uint32_t capacity, count;
        bool tooLarge;
    } cases[] = {
        {"a small file, room to spare", false, 300, 400, 300, false},
        {"cut off silently below the large capacity", false, 300, 100, 100, false},
        {"an empty file", false, 0, 400, 0, false},
        {"the large buffer filled exactly", false, big, big, big, true},
        {"one byte short of filling it", false, big - 1, big, big - 1, false},
        {"one byte more than it holds", false, big + 1, big, big, true},
        {"a buffer one byte larger", false, big, big + 1, big, false},
        {"an exact read of part of a file", true, 10, 8, 8, false},
        {"an exact read past the end", true, 10, 16, 10, true},
    };
    Bytes buffer(big + 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        const Bytes content = Pattern(c.fileSize, 7);
        const std::string path = Put("song.mid", content);
        std::uint32_t count = 99;
        if (c.exact) {
            EXPECT_EQ(ReadFileExact(r_.ctx, path, buffer.data(), c.capacity), 1);
        } else {
            EXPECT_EQ(ReadWholeFile(r_.ctx, path, buffer.data(), &count, c.capacity), 1);
            EXPECT_EQ(count, c.count);
        }
        EXPECT_TRUE(std::equal(content.begin(), content.begin() + c.count, buffer.begin()));
        EXPECT_EQ(buffer[c.count], 0xEE);
        EXPECT_EQ(r_.Take(), c.tooLarge ? Reports{kTooLarge} : Reports{});
    }
}

// A write replaces the whole file, keeps its permissions and, through a
// link, the link; a new file follows the umask; no temporary is left.
TEST_F(FileAccessTest, WritesReplaceTheWholeFileAndKeepWhatTheFileWas)
{
    const std::string path = PathOf("out.mid");
    const Bytes longer = Pattern(5000, 1), shorter = Pattern(10, 2);
    ASSERT_EQ(WriteWholeFile(r_.ctx, path, longer.data(), 5000), 1);
    EXPECT_EQ(Get(path), longer);
    ASSERT_EQ(WriteWholeFile(r_.ctx, path, shorter.data(), 10), 1);
    EXPECT_EQ(Get(path), shorter);  // no tail of the longer content
    ASSERT_EQ(WriteWholeFile(r_.ctx, path, nullptr, 0), 1);
    EXPECT_EQ(fs::file_size(path), 0u);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(path).permissions()), 0666 & ~mask);

    const auto kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, kept);
    const std::string real = Put("real/target.mid", Pattern(100, 0));
    fs::create_symlink("real/target.mid", dir_.path() / "link.mid");
    for (const std::string& target : {path, PathOf("link.mid")})
        ASSERT_EQ(WriteWholeFile(r_.ctx, target, shorter.data(), 10), 1) << target;
    EXPECT_EQ(fs::status(path).permissions(), kept);
    EXPECT_TRUE(fs::is_symlink(dir_.path() / "link.mid"));
    EXPECT_EQ(Get(real), shorter);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"link.mid", "out.mid", "real"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path() / "real"), {}), 1);
    EXPECT_TRUE(r_.Take().empty());
}

TEST_F(FileAccessTest, WriteDeniedByPermissionsKeepsExistingFile)
{
    const Bytes old = Pattern(64, 4);
    const std::string locked = Put("locked.mid", old);
    const std::string path = Put("song.mid", old);
    fs::permissions(locked, fs::perms::owner_read);
    if (std::ofstream(locked, std::ios::app))
        GTEST_SKIP() << "permission bits do not stop this user (root) from writing";
    const Bytes data = Pattern(10, 1);
    // A read-only file in a writable directory must not be replaced.
    EXPECT_EQ(WriteWholeFile(r_.ctx, locked, data.data(), 10), 0);
    ExpectFailure(locked, EACCES);
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteWholeFile(r_.ctx, path, data.data(), 10), 0);
    ExpectFailure(path, EACCES);
    EXPECT_EQ(r_.Take(), (Reports{kCantOpen, kCantOpen}));
    EXPECT_EQ(Get(locked), old);
    EXPECT_EQ(Get(path), old);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"locked.mid", "song.mid"}));
}

// A file size limit makes the write fail midway, after the temporary was created.
TEST_F(FileAccessTest, WriteFailingMidwayKeepsExistingFileByteIdentical)
{
    const Bytes old = Pattern(100, 6);
    const std::string path = Put("song.mid", old);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Bytes data = Pattern(200000, 1);
    const int result = WriteWholeFile(r_.ctx, path, data.data(), 200000);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(r_.Take(), Reports{kCantWrite});
    ExpectFailure(path, EFBIG);
    EXPECT_EQ(Get(path), old);
    EXPECT_EQ(Listing(), std::vector<std::string>{"song.mid"});
}

// Renaming over a pipe or device would replace the node instead of writing to it.
TEST_F(FileAccessTest, WriteToPipeWritesInPlace)
{
    const std::string path = PathOf("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const Bytes data = Pattern(10, 1);
    EXPECT_EQ(WriteWholeFile(r_.ctx, path, data.data(), 10), 1);
    Bytes got(32);
    const auto n = ::read(reader, got.data(), got.size());
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(path));
    ASSERT_EQ(n, 10);
    got.resize(10);
    EXPECT_EQ(got, data);
    EXPECT_TRUE(r_.Take().empty());
}

TEST_F(FileAccessTest, FileSizeOfFourGiBAndMoreReportsAndKeepsLowBits)
{
    const std::string path = Put("huge.mid", {});
    std::error_code ec;
    fs::resize_file(path, 0xFFFFFFFFull, ec);  // sparse: costs no disk space
    if (ec) GTEST_SKIP() << "cannot make a sparse 4 GiB file here: " << ec.message();
    EXPECT_EQ(FileSizeOf(r_.ctx, path), 0xFFFFFFFFu);
    EXPECT_TRUE(r_.Take().empty());
    fs::resize_file(path, 0x100000000ull);
    EXPECT_EQ(FileSizeOf(r_.ctx, path), 0u);
    fs::resize_file(path, 0x100000005ull);
    EXPECT_EQ(FileSizeOf(r_.ctx, path), 5u);
    EXPECT_EQ(r_.Take(), (Reports{"GENE0100000D file size error!", "GENE0100000D file size error!"}));
}

}  // namespace
}  // namespace rovanta
