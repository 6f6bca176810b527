#pragma once
// The built-in General MIDI synthesizer: a software synthesizer that loads the
// system's SoundFont and sounds through the system's audio output. It is the
// output the player opens as the MIDI mapper.

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "playback/MidiPort.h"

namespace rovanta {

struct SynthConfig {
    // Searched in order, each for default-GM.sf2, FluidR3_GM.sf2, TimGM6mb.sf2.
    std::vector<std::filesystem::path> searchDirs{"/usr/share/sounds/sf2"};
    // When set, the only SoundFont considered: a mistyped name must not
    // quietly sound through another one.
    std::filesystem::path soundFont;
    // Audio drivers to try in order; empty: the synthesizer's default, then
    // the other sound servers and devices it offers.
    std::vector<std::string> audioDrivers;
    // Without audio nothing sounds; the owner pulls samples with Render().
    bool audio = true;
    // The synthesizer library, loaded when a synthesizer is first made or
    // probed. When it cannot be loaded no audio driver starts.
    std::string library = "libfluidsynth.so.3";
    // When set, no audio driver starts: the synthesizer renders into this
    // file (of renderFileType: "wav", "flac" or "oga") as its owner asks.
    std::filesystem::path renderFile;
    std::string renderFileType = "wav";
    double sampleRate = 44100;
};

// The SoundFont the configuration selects, if one exists.
std::optional<std::filesystem::path> FindSoundFont(const SynthConfig& config);

// The audio driver a synthesizer of this configuration would sound through,
// found by starting the drivers as Create does and stopping the first that
// starts; empty when none does. Loads no SoundFont, so it is quick.
std::string ProbeAudioDriver(const SynthConfig& config);

// One synthesizer instance with its audio output. The first user opens it on
// one thread; afterwards messages may come from any one thread at a time
// while the audio thread renders.
class SynthPort final : public MidiOutPort {
public:
    // Null when the SoundFont cannot be loaded or no audio driver starts.
    static std::unique_ptr<SynthPort> Create(const std::filesystem::path& soundFont,
                                             const SynthConfig& config);
    ~SynthPort() override;

    SynthPort(const SynthPort&) = delete;
    SynthPort& operator=(const SynthPort&) = delete;

    bool SendShort(std::uint32_t message) override;
    bool SendLong(std::span<const std::uint8_t> message) override;
    bool Reset() override;
    bool Close() override;

    // Voices now sounding (0 once closed).
    int ActiveVoices() const;
    // Renders the next samples into the two channels (equal sizes) when the
    // port runs without audio; false otherwise.
    bool Render(std::span<float> left, std::span<float> right);
    // With a render file: renders into it until `frames` frames are written
    // in all (whole blocks, so up to a block more); false on a write error.
    bool RenderInto(std::int64_t frames);
    std::int64_t FramesRendered() const;
    // Closes the render file, complete; nothing is rendered afterwards.
    bool FinishFile();
    // The audio driver that started, empty without audio.
    const std::string& AudioDriver() const { return audioDriver_; }

    struct Engine;
    // Only Create can make the key.
    class Key {
        friend class SynthPort;
        Key() = default;
    };
    SynthPort(Key, std::unique_ptr<Engine> engine, std::string audioDriver);

private:

    std::unique_ptr<Engine> engine_;  // null once closed
    std::string audioDriver_;
};

class SynthSystem : public MidiOutSystem {
public:
    explicit SynthSystem(SynthConfig config = {}) : config_(std::move(config)) {}

    // 1 when a SoundFont is there, else 0.
    int DeviceCount() override;
    // Device 0 or the mapper.
    std::unique_ptr<MidiOutPort> Open(int deviceId) override;
    std::unique_ptr<SynthPort> OpenSynth(int deviceId);
    std::string Name() const override;

private:
    SynthConfig config_;
};

}  // namespace rovanta
