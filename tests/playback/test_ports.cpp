#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <vector>

#include "common/Files.h"
#include "playback/Ports.h"
#include "playback/RtMidiPort.h"

// The sequencer library's JACK client loses a ring buffer each time it fails
// to reach a JACK server (as on machines without one); that is not ours to fix.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions()
{
    return "leak:jack_ringbuffer_create\n";
}

namespace rovanta {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t Short(std::uint8_t status, std::uint8_t d1 = 0, std::uint8_t d2 = 0)
{
    return status | (d1 << 8) | (d2 << 16);
}

using test::ReadText;

using test::TempDir;
const std::string kNotAFont = "not a SoundFont";

TEST(ShortMessageSize, FollowsTheStatusByte)
{
    for (int status : {0x80, 0x9F, 0xA3, 0xB0, 0xE7, 0xF2}) EXPECT_EQ(ShortMessageSize(status), 3) << status;
    for (int status : {0xC0, 0xDF, 0xF1, 0xF3}) EXPECT_EQ(ShortMessageSize(status), 2) << status;
    for (int status : {0xF6, 0xF8, 0xFA, 0xFE, 0xFF}) EXPECT_EQ(ShortMessageSize(status), 1) << status;
    // Data bytes and the system-exclusive bytes cannot start a short message.
    for (int status : {0x00, 0x3C, 0x7F, 0xF0, 0xF7}) EXPECT_EQ(ShortMessageSize(status), 0) << status;
}

// ---- Message log -------------------------------------------------------

class LogPortTest : public ::testing::Test {
protected:
    std::int64_t now_ = 5'000'000;  // any origin: only differences are logged
    std::ostringstream out_;
    LogSystem system_{out_, [this] { return now_; }};
};

TEST_F(LogPortTest, WritesEachMessageWithItsTimeSinceItsPortOpened)
{
    auto port = system_.Open(kMidiMapper);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->SendLong(Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    now_ += 123'456;
    EXPECT_TRUE(port->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_TRUE(port->SendShort(Short(0xC5, 0x05)));  // two bytes: no third one shown
    EXPECT_TRUE(port->SendShort(Short(0xFE)));
    now_ += 76'544;
    EXPECT_TRUE(port->SendShort(Short(0x80, 0x3C, 0x00)));
    EXPECT_TRUE(port->Reset());
    now_ += 50'000;
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(out_.str(),
              "000000000 F0 7E 7F 09 01 F7\n"
              "000123456 90 3C 64\n"
              "000123456 C5 05\n"
              "000123456 FE\n"
              "000200000 80 3C 00\n"
              "000200000 reset\n"
              "000250000 close\n");

    // Long times widen the field, a clock running backwards gives no negative
    // times, odd input is shown as it is, an empty message is refused.
    out_.str("");
    auto other = system_.Open(kMidiMapper);
    EXPECT_FALSE(other->SendLong(Bytes{}));
    now_ += 1'234'567'890;
    EXPECT_TRUE(other->SendShort(Short(0x3C, 0x64, 0x01) | 0xAB000000u));
    now_ -= 2'000'000'000;
    EXPECT_TRUE(other->SendShort(Short(0xF8)));
    EXPECT_EQ(out_.str(),
              "1234567890 3C 64 01\n"
              "000000000 F8\n");
}

TEST_F(LogPortTest, EachPortIsTimedFromItsOwnOpeningAndRefusesEverythingOnceClosed)
{
    EXPECT_EQ(system_.DeviceCount(), 1);
    EXPECT_EQ(system_.Open(1), nullptr);
    EXPECT_EQ(system_.Open(-2), nullptr);

    auto first = system_.Open(kMidiMapper);
    now_ += 1'000;
    first->Close();
    now_ += 9'000;
    auto second = system_.Open(kMidiMapper);
    now_ += 7;
    second->SendShort(Short(0xB0, 0x07, 0x7F));
    second.reset();  // closing by destruction is logged too
    // A closed port refuses everything, and its destruction logs no second close.
    auto third = system_.Open(kMidiMapper);
    EXPECT_TRUE(third->Close());
    EXPECT_FALSE(third->Close());
    EXPECT_FALSE(third->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_FALSE(third->SendLong(Bytes{0xF0, 0xF7}));
    EXPECT_FALSE(third->Reset());
    third.reset();
    EXPECT_EQ(out_.str(),
              "000001000 close\n"
              "000000007 B0 07 7F\n"
              "000000007 close\n"
              "000000000 close\n");
}

TEST(LogPortFile, APortOutlivingItsSystemStillWritesAFailedOutputFailsTheSends)
{
    std::ostringstream out;
    std::int64_t now = 0;
    auto system = MakeLogSystem(out, [&now] { return now; });
    auto port = system->Open(kMidiMapper);
    system.reset();
    now = 42;
    EXPECT_TRUE(port->SendShort(Short(0x90, 0x40, 0x7F)));
    EXPECT_EQ(out.str(), "000000042 90 40 7F\n");

    std::ostream broken(nullptr);  // every write fails, and so does every send
    LogSystem failing(broken);
    auto lost = failing.Open(kMidiMapper);
    ASSERT_NE(lost, nullptr);
    EXPECT_FALSE(lost->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_FALSE(lost->SendLong(Bytes{0xF0, 0xF7}));
    EXPECT_FALSE(lost->Reset());
}

// One file collects every playback of a run; one that cannot be created
// fails the open and says why.
TEST(LogPortFile, FileCollectsAllPlaybacksOfARunOrFailsTheOpen)
{
    TempDir dir;
    const fs::path path = dir.Write("old.log", "left from an earlier run\n");
    std::int64_t now = 0;
    LogSystem system(path, [&now] { return now; });
    EXPECT_EQ(system.Name(), "Message log: " + path.string());
    auto port = system.Open(kMidiMapper);
    ASSERT_NE(port, nullptr);
    port->SendShort(Short(0x91, 0x30, 0x20));
    port->Close();
    port = system.Open(kMidiMapper);  // the second playback appends
    port->Reset();
    EXPECT_EQ(ReadText(path), "000000000 91 30 20\n000000000 close\n000000000 reset\n");

    const std::pair<fs::path, int> cases[] = {{dir.path() / "missing-dir" / "out.log", ENOENT}, {dir.path(), EISDIR}};
    for (const auto& [unusable, error] : cases) {
        LogSystem failing(unusable);
        EXPECT_EQ(failing.DeviceCount(), 1);
        EXPECT_EQ(failing.Prepare(), error) << unusable;
        EXPECT_EQ(failing.Open(kMidiMapper), nullptr) << unusable;
    }
    LogSystem fine(dir.path() / "out.log");
    EXPECT_EQ(fine.Prepare(), 0);
    EXPECT_TRUE(fs::exists(dir.path() / "out.log"));  // created before any port opens
}

// ---- Built-in synthesizer ---------------------------------------------

SynthConfig ConfigIn(const fs::path& dir)
{
    SynthConfig config;
    config.searchDirs = {dir};
    config.audio = false;
    return config;
}

// Folders in order, in each the names in order; a named SoundFont alone.
TEST(SynthSoundFont, SearchOrderAndAbsence)
{
    TempDir first, second;
    SynthConfig config = ConfigIn(first.path());
    config.searchDirs.push_back(second.path());
    SynthSystem system(config);
    EXPECT_FALSE(FindSoundFont(config));
    EXPECT_EQ(system.DeviceCount(), 0);
    EXPECT_EQ(system.Open(kMidiMapper), nullptr);
    EXPECT_EQ(system.Name(), "Built-in synthesizer");

    first.Write("other.sf2", kNotAFont);
    fs::create_symlink(first.path() / "nowhere.sf2", first.path() / "default-GM.sf2");  // dangling
    EXPECT_EQ(system.DeviceCount(), 0);
    second.Write("default-GM.sf2", kNotAFont);
    EXPECT_EQ(FindSoundFont(config), second.path() / "default-GM.sf2");
    first.Write("TimGM6mb.sf2", kNotAFont);
    EXPECT_EQ(FindSoundFont(config), first.path() / "TimGM6mb.sf2");
    first.Write("FluidR3_GM.sf2", kNotAFont);
    EXPECT_EQ(FindSoundFont(config), first.path() / "FluidR3_GM.sf2");
    fs::remove(first.path() / "default-GM.sf2");
    fs::create_symlink(first.path() / "TimGM6mb.sf2", first.path() / "default-GM.sf2");
    EXPECT_EQ(FindSoundFont(config), first.path() / "default-GM.sf2");
    EXPECT_EQ(system.Name(), "Built-in synthesizer (default-GM.sf2)");
    // Found but not a SoundFont: the device is there, its open fails.
    EXPECT_EQ(system.DeviceCount(), 1);
    EXPECT_EQ(system.Open(kMidiMapper), nullptr);

    config.soundFont = second.path() / "mine.sf2";  // named but not there
    EXPECT_FALSE(FindSoundFont(config));
    EXPECT_EQ(SynthSystem(config).DeviceCount(), 0);
    second.Write("mine.sf2", kNotAFont);
    EXPECT_EQ(FindSoundFont(config), second.path() / "mine.sf2");
}

// The rest needs the system's SoundFont, which the install script provides.
class SynthPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SynthConfig config;
        config.audio = false;
        if (!FindSoundFont(config)) GTEST_SKIP() << "no General MIDI SoundFont installed";
        port_ = SynthSystem(config).OpenSynth(kMidiMapper);
        ASSERT_NE(port_, nullptr);
    }

    // Peak level of the next 100 ms.
    float Peak()
    {
        std::vector<float> left(4410), right(4410);
        EXPECT_TRUE(port_->Render(left, right));
        float peak = 0;
        for (std::size_t i = 0; i < left.size(); ++i)
            peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
        return peak;
    }

    std::unique_ptr<SynthPort> port_;
};

TEST_F(SynthPortTest, NotesSoundAndResetSilencesThem)
{
    EXPECT_EQ(port_->AudioDriver(), "");
    EXPECT_LT(Peak(), 1e-6f);
    EXPECT_TRUE(port_->SendLong(Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_TRUE(port_->SendShort(Short(0xC0, 0x00)));
    EXPECT_TRUE(port_->SendShort(Short(0xB0, 0x07, 0x64)));
    EXPECT_TRUE(port_->SendShort(Short(0xE0, 0x00, 0x40)));
    EXPECT_TRUE(port_->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_GT(port_->ActiveVoices(), 0);
    EXPECT_GT(Peak(), 1e-3f);

    // Held by the pedal, the note outlives its note-off until the reset.
    EXPECT_TRUE(port_->SendShort(Short(0xB0, 0x40, 0x7F)));
    EXPECT_TRUE(port_->SendShort(Short(0x80, 0x3C, 0x00)));
    Peak();
    EXPECT_GT(port_->ActiveVoices(), 0);
    EXPECT_TRUE(port_->Reset());
    Peak();
    EXPECT_EQ(port_->ActiveVoices(), 0);
    // The pedal is up again: a new note ends with its note-off.
    EXPECT_TRUE(port_->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_TRUE(port_->SendShort(Short(0x80, 0x3C, 0x00)));
    for (int i = 0; i < 30 && port_->ActiveVoices() > 0; ++i) Peak();
    EXPECT_EQ(port_->ActiveVoices(), 0);
}

TEST_F(SynthPortTest, NoteOffsNeverFailLongMessagesCarrySysExOrWholeChannelMessages)
{
    // Releasing a key that is not sounding is normal at a stop.
    EXPECT_TRUE(port_->SendShort(Short(0x80, 0x3C, 0x00)));
    EXPECT_TRUE(port_->SendShort(Short(0x95, 0x3C, 0x00)));
    // No status, a system-exclusive one, no end of exclusive, cut short, a status inside the data.
    EXPECT_FALSE(port_->SendShort(Short(0x3C, 0x64, 0x00)));
    EXPECT_FALSE(port_->SendShort(Short(0xF0, 0x7E, 0x7F)));
    for (const Bytes& refused : {Bytes{}, Bytes{0xF0, 0x7E, 0x7F, 0x09}, Bytes{0x3C, 0x64}, Bytes{0x90, 0x3C},
                                 Bytes{0x90, 0x3C, 0xC0}})
        EXPECT_FALSE(port_->SendLong(refused)) << refused.size();
    EXPECT_EQ(port_->ActiveVoices(), 0);

    EXPECT_TRUE(port_->SendLong(Bytes{0xF0, 0xF7}));
    // An escape with a program change and two notes under running status.
    EXPECT_TRUE(port_->SendLong(Bytes{0xC1, 0x10, 0x91, 0x3C, 0x64, 0x40, 0x64}));
    const int twoNotes = port_->ActiveVoices();
    EXPECT_GT(twoNotes, 0);
    EXPECT_TRUE(port_->SendLong(Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x91, 0x43, 0x64}));
    EXPECT_GT(port_->ActiveVoices(), twoNotes);
}

TEST_F(SynthPortTest, ClosedPortRefusesEverything)
{
    EXPECT_TRUE(port_->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_TRUE(port_->Close());
    EXPECT_FALSE(port_->Close());
    EXPECT_EQ(port_->ActiveVoices(), 0);
    EXPECT_FALSE(port_->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_FALSE(port_->SendLong(Bytes{0xF0, 0xF7}));
    EXPECT_FALSE(port_->Reset());
    std::vector<float> left(16), right(16);
    EXPECT_FALSE(port_->Render(left, right));
}

TEST(SynthAudio, WhateverTheMachineOffersOpensCleanlyOrNotAtAll)
{
    SynthSystem system;
    auto port = system.OpenSynth(kMidiMapper);
    if (!port) GTEST_SKIP() << "no audio output on this machine";
    EXPECT_NE(port->AudioDriver(), "");
    std::vector<float> left(16), right(16);
    EXPECT_FALSE(port->Render(left, right));  // the driver owns the rendering
    EXPECT_TRUE(port->SendShort(Short(0x90, 0x3C, 0x64)));
    EXPECT_TRUE(port->Reset());
    EXPECT_TRUE(port->Close());
}

// ---- Sequencer ports ---------------------------------------------------

TEST(RtMidiPorts, UnreachableOrUnknownPortsFailQuietly)
{
    std::vector<std::string> names;
    EXPECT_NO_THROW(names = ListRtMidiPorts());
    RtMidiSystem system("no port is called this");
    EXPECT_EQ(system.DeviceCount(), static_cast<int>(names.size()));
    EXPECT_EQ(system.Open(kMidiMapper), nullptr);
    EXPECT_EQ(system.Open(static_cast<int>(names.size())), nullptr);
    EXPECT_EQ(system.Open(-7), nullptr);
    EXPECT_EQ(RtMidiSystem("99999").Open(kMidiMapper), nullptr);
}

// The listing says available exactly when a playback could open the synthesizer.
TEST(ListOutputs, TheSynthesizerCountsOnlyWhenItReallyOpens)
{
    const OutputList list = ListOutputs();
    EXPECT_EQ(list.synthAvailable, SynthSystem().OpenSynth(kMidiMapper) != nullptr);
    EXPECT_EQ(list.rtMidiPorts, ListRtMidiPorts());
}

// A playback library that is not there, or lacks functions, leaves its outputs
// as if no device opened.
TEST(ListOutputs, UnloadableLibrariesOfferNothing)
{
    for (const char* library : {"librovanta-not-installed.so.1", "libc.so.6"}) {
        SynthConfig synth;
        synth.audio = false;  // with the real library this opens
        if (!FindSoundFont(synth)) GTEST_SKIP() << "no General MIDI SoundFont installed";
        synth.library = library;
        EXPECT_EQ(SynthSystem(synth).DeviceCount(), 1) << library;
        EXPECT_EQ(SynthSystem(synth).Open(kMidiMapper), nullptr) << library;
        const OutputList list = ListOutputs(synth);
        EXPECT_FALSE(list.synthAvailable) << library;
        EXPECT_EQ(list.synthProblem, "no audio driver opens") << library;

        EXPECT_EQ(ListRtMidiPorts(library), std::vector<std::string>{}) << library;
        RtMidiSystem ports("0", library);
        EXPECT_EQ(ports.DeviceCount(), 0) << library;
        EXPECT_EQ(ports.Open(kMidiMapper), nullptr) << library;
    }
}
}  // namespace
}  // namespace rovanta
