#pragma once
// What the command-line tests share: a scratch folder and a way to run the
// tool in-process with its output captured.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CommandLine.h"
#include "smf/SmfBytes.h"

namespace rovanta::cli::harness {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("rovanta-cli-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const rovanta::test::Bytes& bytes) const
    {
        const std::string path = *this / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// Runs `rovanta-cli ARGS...` in-process (stderr is not a terminal).
inline CliRun Cli(std::vector<std::string> args)
{
    args.insert(args.begin(), "rovanta-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return {status, out.str(), err.str()};
}

}  // namespace rovanta::cli::harness
