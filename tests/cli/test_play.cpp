#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliHarness.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/TestSinks.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfBytes.h"

namespace rovanta::cli {
namespace {

namespace fs = std::filesystem;
using namespace test;
using Strings = std::vector<std::string>;

using harness::Cli;
using harness::CliRun;
using PlayDir = harness::TempDir;

// The log's messages without their times: "000012345 90 3C 64" -> "90 3C 64".
Strings Messages(const std::string& path)
{
    Strings out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) out.push_back(line.substr(line.find(' ') + 1));
    return out;
}

// 480 quarter notes a minute: C4 for a sixteenth, a sixteenth's rest, E4 for a
// sixteenth; well under a second.
const Bytes kTwoNotes = Smf(0, 96, {Chunk("00 FF 51 03 01 E8 48 | 00 C0 05 | 00 90 3C 64 | 18 80 3C 40 |"
                                          " 18 90 40 64 | 18 80 40 40 | 00 FF 2F 00")});

TEST(ThreadedCliPlay, TheLogHoldsTheSongBetweenSystemOnAndResetAndTheRunEndsWithIt)
{
    PlayDir dir;
    const std::string in = dir.Write("in.mid", kTwoNotes);

    const CliRun plain = Cli({"play", "--log", dir / "plain.txt", in});
    EXPECT_EQ(plain.status, kExitOk);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(Messages(dir / "plain.txt"), (Strings{"F0 7E 7F 09 01 F7", "C0 05", "90 3C 64", "80 3C 00", "90 40 64",
                                                    "80 40 00", "reset", "close"}));

    // The reversals reach the player: reflected about C4 (the C at or below the
    // middle of 60..64), 64 becomes 56; then both rise an octave.
    const CliRun vertical = Cli({"play", "-V", "--log", dir / "v.txt", in});
    EXPECT_EQ(vertical.status, kExitOk);
    EXPECT_EQ(Messages(dir / "v.txt"), (Strings{"F0 7E 7F 09 01 F7", "C0 05", "90 48 64", "80 48 00", "90 44 64",
                                                "80 44 00", "reset", "close"}));
}

TEST(ThreadedCliPlay, NothingLoadedOrNoOutputOpenedExitsWithOne)
{
    PlayDir dir;
    const std::string in = dir.Write("in.mid", kTwoNotes);

    const CliRun missing = Cli({"play", "--log", dir / "log.txt", dir / "missing.mid"});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_NE(missing.err.find(dir / "missing.mid"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(dir / "log.txt"));

    // The log cannot be created: the user learns which file and why.
    const std::string log = dir / "no-such-folder/log.txt";
    const CliRun unopened = Cli({"play", "--log", log, in});
    EXPECT_EQ(unopened.status, kExitFailed);
    EXPECT_EQ(unopened.err, "rovanta-cli play: cannot create the log '" + log + "': No such file or directory\n");
}

// Released once the playback is over, the songs report to nobody.
TEST(ThreadedCliPlay, OnlyTheReportsOfLoadAndPlaybackArePrinted)
{
    PlayDir dir;
    const std::string in = dir.Write("long.mid", Smf(0, 96, {Chunk(test::Cat({test::Hex("00 FF 01 82 2C"), Bytes(300, 'x'),
                                                                               test::Hex("00 90 3C 64 | 18 80 3C 40 | 00 FF 2F 00")}))}));
    test::Recorded r;
    MidiFileLoader loader(r.ctx);
    loader.Load(in);
    loader.BuildSong();
    ASSERT_NE(loader.Song(), nullptr);
    const CliRun run = Cli({"play", "-H", "--log", dir / "log.txt", in});
    EXPECT_EQ(run.status, kExitOk);
    std::string load;
    for (const std::string& line : r.Take()) load += line + "\n";
    EXPECT_EQ(run.err, load);
}

TEST(ThreadedCliPlay, AnInterruptStopsThePlaybackWithResetAndCloseAndExits130)
{
    PlayDir dir;
    // One note of eighty quarters: only a stop ends this run in time.
    const std::string in =
        dir.Write("long.mid", Smf(0, 96, {Chunk("00 90 3C 64 | BC 00 80 3C 40 | 00 FF 2F 00")}));
    PlayArgs args;
    args.input = in;
    args.log = dir / "log.txt";
    std::atomic<bool> interrupted{false};
    std::jthread interrupter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        interrupted = true;
    });
    std::ostringstream err;
    EXPECT_EQ(RunPlay(args, err, interrupted), kExitInterrupted);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Messages(args.log), (Strings{"F0 7E 7F 09 01 F7", "90 3C 64", "reset", "close"}));
}

TEST(ThreadedCliPlay, CtrlCOnlyRaisesTheFlagWhileTheHandlerIsInstalled)
{
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    {
        const InterruptFlag interrupt;
        EXPECT_FALSE(interrupt.Flag());
        raise(SIGINT);
        EXPECT_TRUE(interrupt.Flag());
    }
    struct sigaction after {};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(CliPlay, PortAndLogExcludeEachOtherAndPortsNamesTheSynthesizer)
{
    const CliRun both = Cli({"play", "--port", "0", "--log", "log.txt", "in.mid"});
    EXPECT_EQ(both.status, kExitUsage);
    EXPECT_NE(both.err.find("excludes"), std::string::npos) << both.err;
    EXPECT_EQ(Cli({"play"}).status, kExitUsage);
    EXPECT_EQ(Cli({"ports", "extra"}).status, kExitUsage);

    const CliRun ports = Cli({"ports"});
    EXPECT_EQ(ports.status, kExitOk);
    EXPECT_NE(ports.out.find("built-in synthesizer: "), std::string::npos) << ports.out;

    // A SoundFont alone does not make the synthesizer available.
    PlayDir dir;
    dir.Write("default-GM.sf2", Bytes{0});
    SynthConfig synth;
    synth.searchDirs = {dir.path()};
    synth.audioDrivers = {"no-such-driver"};
    for (const auto& [dirs, why] : {std::pair{synth.searchDirs, "no audio driver opens"},
                                    std::pair{std::vector<fs::path>{dir / "none"}, "no SoundFont found"}}) {
        synth.searchDirs = dirs;
        std::ostringstream out;
        EXPECT_EQ(RunPorts(out, synth), kExitOk);
        EXPECT_NE(out.str().find(std::string("built-in synthesizer: not available (") + why + ")\n"), std::string::npos)
            << out.str();
    }
}

}  // namespace
}  // namespace rovanta::cli
