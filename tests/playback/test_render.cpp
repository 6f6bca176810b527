// Audio export: what Play would play, rendered into a sound file, read back
// with the sound file library.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <vector>

#include "cli/CliHarness.h"
#include "common/Events.h"
#include "common/Files.h"
#include "common/TestSinks.h"
#include "pipelines/PlayPipeline.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;
using test::Eot;
using test::Off;
using test::On;

struct Sound {
    bool opened = false;
    int format = 0;
    double seconds = 0;
    double rms = 0;  // of the whole file, full scale 1
};

Sound ReadSound(const fs::path& path)
{
    Sound sound;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return sound;
    sound.opened = true;
    sound.format = info.format & SF_FORMAT_TYPEMASK;
    sound.seconds = static_cast<double>(info.frames) / info.samplerate;
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    double sum = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(read * info.channels); ++i) sum += samples[i] * samples[i];
    sound.rms = samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
    return sound;
}

// At 120 quarters a minute and 480 ticks a quarter, 960 ticks are a second.
MidiF0Data Song(RunContext& ctx, bool withNote)
{
    MidiF0Data song(ctx, kCapacity, track_state::kEventForm, 480);
    song.Track().AppendEvent(test::Meta(0, meta::kTempo, 500000));
    if (withNote) {
        song.Track().AppendEvent(On(0, 0, 60, 100));
        song.Track().AppendEvent(Off(960, 0, 60));
    } else {
        song.Track().AppendEvent(test::Cc(960, 0, 7, 100));
    }
    song.Track().AppendEvent(Eot(0));
    song.PairTrack();
    return song;
}

bool HasSoundFont() { return FindSoundFont(SynthConfig{}).has_value(); }

TEST(Render, EachFileTypeHoldsTheScheduleThenAtMostTheReleaseTail)
{
    if (!HasSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    test::TempDir dir;
    const struct {
        const char* file;
        int format;
    } types[] = {{"a.wav", SF_FORMAT_WAV}, {"a.FLAC", SF_FORMAT_FLAC}, {"a.ogg", SF_FORMAT_OGG}};
    for (const auto& t : types) {
        SCOPED_TRACE(t.file);
        test::Recorded r;
        const MidiF0Data song = Song(r.ctx, true);
        const RenderResult result = RenderMirrored(r.ctx, song, MirrorSettings{}, SynthConfig{}, dir / t.file);
        ASSERT_EQ(result.outcome, RenderOutcome::kWritten);
        // The note lasts a second; the pre-roll and the first period add a little.
        EXPECT_GE(result.scheduleSeconds, 1.0);
        EXPECT_LE(result.scheduleSeconds, 1.2);
        const Sound sound = ReadSound(dir / t.file);
        ASSERT_TRUE(sound.opened);
        EXPECT_EQ(sound.format, t.format);
        EXPECT_NEAR(sound.seconds, result.audioSeconds, 0.01);
        EXPECT_GE(sound.seconds, result.scheduleSeconds - 0.05);
        EXPECT_LE(sound.seconds, result.scheduleSeconds + kMaxReleaseSeconds + 0.05);
        EXPECT_GT(sound.rms, 0.001) << "a note sounds";
        EXPECT_TRUE(r.Take().empty());
    }
    // Nothing but the files asked for is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(Render, ASongWithoutNotesIsSilent)
{
    if (!HasSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    test::TempDir dir;
    test::Recorded r;
    const MidiF0Data song = Song(r.ctx, false);
    ASSERT_EQ(RenderMirrored(r.ctx, song, MirrorSettings{}, SynthConfig{}, dir / "quiet.wav").outcome,
              RenderOutcome::kWritten);
    const Sound sound = ReadSound(dir / "quiet.wav");
    ASSERT_TRUE(sound.opened);
    // Sixteen-bit samples carry the synthesizer's dither, some 90 dB down.
    EXPECT_LT(sound.rms, 1e-4);
}

TEST(Render, NoFileIsLeftWhenCancelledOrWhenNothingCanRender)
{
    if (!HasSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    test::TempDir dir;
    test::Recorded r;
    const MidiF0Data song = Song(r.ctx, true);
    const std::atomic<bool> cancelled{true};
    RenderControl control;
    control.cancel = &cancelled;
    EXPECT_EQ(RenderMirrored(r.ctx, song, MirrorSettings{}, SynthConfig{}, dir / "a.wav", control).outcome,
              RenderOutcome::kCancelled);
    SynthConfig missing;
    missing.soundFont = dir / "missing.sf2";
    EXPECT_EQ(RenderMirrored(r.ctx, song, MirrorSettings{}, missing, dir / "b.wav").outcome,
              RenderOutcome::kNoSynthesizer);
    EXPECT_EQ(RenderMirrored(r.ctx, song, MirrorSettings{}, SynthConfig{}, dir / "c.mp3").outcome,
              RenderOutcome::kNoSynthesizer);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Render, TheCommandLine)
{
    if (!HasSoundFont()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    test::TempDir dir;
    const std::string in = std::string(ROVANTA_TEST_DATA) + "/mma--twinkle-kar.kar";
    const auto written = cli::harness::Cli({"render", "-H", "--controls", "curves", in, "-o", dir / "t.flac"});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_GT(ReadSound(dir / "t.flac").rms, 0.001);
    const auto wrongType = cli::harness::Cli({"render", in, "-o", dir / "t.mp3"});
    EXPECT_EQ(wrongType.status, 2);
    EXPECT_NE(wrongType.err.find("not a .wav, .flac or .ogg file"), std::string::npos) << wrongType.err;
    const auto noFont = cli::harness::Cli({"render", in, "-o", dir / "t.wav", "--soundfont", dir / "none.sf2"});
    EXPECT_EQ(noFont.status, 1);
    EXPECT_FALSE(fs::exists(dir / "t.wav"));
}

}  // namespace
}  // namespace rovanta
