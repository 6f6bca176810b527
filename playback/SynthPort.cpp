#include "playback/SynthPort.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <system_error>

#include "playback/Ports.h"
#include "playback/SharedLibrary.h"

// The library name in SynthConfig is the one these headers belong to.
static_assert(FLUIDSYNTH_VERSION_MAJOR == 2 && FLUIDSYNTH_VERSION_MINOR >= 2,
              "libfluidsynth.so.3 is the library of versions 2.2 and later");

namespace rovanta {

namespace {

// Every function used from the synthesizer library, typed by its header.
#define ROVANTA_FLUIDSYNTH_FUNCTIONS(X)                                                                       \
    X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setstr) X(fluid_settings_dupstr)          \
    X(fluid_settings_foreach_option) X(fluid_free) X(fluid_set_log_function) X(new_fluid_synth)               \
    X(delete_fluid_synth) X(fluid_synth_sfload) X(new_fluid_audio_driver) X(delete_fluid_audio_driver)        \
    X(fluid_synth_noteon) X(fluid_synth_noteoff) X(fluid_synth_key_pressure) X(fluid_synth_cc)                \
    X(fluid_synth_program_change) X(fluid_synth_channel_pressure) X(fluid_synth_pitch_bend)                   \
    X(fluid_synth_system_reset) X(fluid_synth_sysex) X(fluid_synth_all_sounds_off)                            \
    X(fluid_synth_count_midi_channels) X(fluid_synth_get_active_voice_count) X(fluid_synth_write_float)       \
    X(fluid_settings_setnum) X(fluid_settings_setint) X(fluid_settings_getint) X(new_fluid_file_renderer)     \
    X(delete_fluid_file_renderer) X(fluid_file_renderer_process_block)

struct FluidSynthLib {
#define ROVANTA_DECLARE(name) decltype(&::name) name = nullptr;
    ROVANTA_FLUIDSYNTH_FUNCTIONS(ROVANTA_DECLARE)
#undef ROVANTA_DECLARE
};

void BindFluidSynth(SymbolBinder& binder, FluidSynthLib& lib)
{
#define ROVANTA_BIND(name) binder.Require(lib.name, #name);
    ROVANTA_FLUIDSYNTH_FUNCTIONS(ROVANTA_BIND)
#undef ROVANTA_BIND
}

const FluidSynthLib* LoadFluidSynth(const SynthConfig& config)
{
    return LoadFunctionTable<FluidSynthLib>(config.library, BindFluidSynth);
}

template <class T>
using Owned = std::unique_ptr<T, void (*)(T*)>;

constexpr std::array kSoundFontNames{"default-GM.sf2", "FluidR3_GM.sf2", "TimGM6mb.sf2"};

// After the default, the sound servers before the raw devices. The file
// driver would drop a wave file into the working directory, and the SDL one
// needs the application to have started SDL, so neither is tried.
constexpr std::array kFallbackDrivers{"pulseaudio", "pipewire", "jack", "alsa", "oss"};

bool IsFile(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void CollectOption(void* data, const char* /*name*/, const char* option)
{
    static_cast<std::vector<std::string>*>(data)->emplace_back(option);
}

std::vector<std::string> DriverCandidates(const FluidSynthLib& lib, fluid_settings_t* settings)
{
    std::vector<std::string> offered;
    lib.fluid_settings_foreach_option(settings, "audio.driver", &offered, CollectOption);
    auto offers = [&](const std::string& name) {
        return std::find(offered.begin(), offered.end(), name) != offered.end();
    };

    // The value fresh settings hold is the build's preferred driver (its
    // registered default is empty).
    std::vector<std::string> candidates;
    char* preferred = nullptr;
    if (lib.fluid_settings_dupstr(settings, "audio.driver", &preferred) == FLUID_OK && preferred != nullptr) {
        const std::string name = preferred;
        lib.fluid_free(preferred);
        if (!name.empty() && name != "file" && name != "sdl2") candidates.push_back(name);
    }
    for (const char* name : kFallbackDrivers) {
        if (offers(name) && std::find(candidates.begin(), candidates.end(), name) == candidates.end())
            candidates.emplace_back(name);
    }
    return candidates;
}

// Feeds one channel or system message to the synthesizer.
bool ApplyShort(const FluidSynthLib& lib, fluid_synth_t* synth, std::uint8_t status, std::uint8_t d1,
                std::uint8_t d2)
{
    const int channel = status & 0x0F;
    d1 &= 0x7F;
    d2 &= 0x7F;
    switch (status & 0xF0) {
    case 0x80:
        // Fails only when the key was not sounding, which is no fault here.
        lib.fluid_synth_noteoff(synth, channel, d1);
        return true;
    case 0x90:
        if (d2 == 0) {
            lib.fluid_synth_noteoff(synth, channel, d1);
            return true;
        }
        return lib.fluid_synth_noteon(synth, channel, d1, d2) == FLUID_OK;
    case 0xA0: return lib.fluid_synth_key_pressure(synth, channel, d1, d2) == FLUID_OK;
    case 0xB0: return lib.fluid_synth_cc(synth, channel, d1, d2) == FLUID_OK;
    case 0xC0: return lib.fluid_synth_program_change(synth, channel, d1) == FLUID_OK;
    case 0xD0: return lib.fluid_synth_channel_pressure(synth, channel, d1) == FLUID_OK;
    case 0xE0: return lib.fluid_synth_pitch_bend(synth, channel, d1 | (d2 << 7)) == FLUID_OK;
    default: break;
    }
    if (status == 0xFF) return lib.fluid_synth_system_reset(synth) == FLUID_OK;
    // Clock, song position and the like mean nothing to a synthesizer.
    return true;
}

}  // namespace

// Members are destroyed bottom-up: the audio driver stops pulling samples
// before the synthesizer goes, and the synthesizer before its settings.
struct SynthPort::Engine {
    explicit Engine(const FluidSynthLib& library) : lib(library) {}

    const FluidSynthLib& lib;
    Owned<fluid_settings_t> settings{nullptr, lib.delete_fluid_settings};
    Owned<fluid_synth_t> synth{nullptr, lib.delete_fluid_synth};
    Owned<fluid_audio_driver_t> driver{nullptr, lib.delete_fluid_audio_driver};
    Owned<fluid_file_renderer_t> renderer{nullptr, lib.delete_fluid_file_renderer};
    std::int64_t framesWritten = 0;
    int periodSize = 64;

    // A synthesizer without SoundFont or audio; false when it cannot be made.
    // With a file to render into, it takes the file's settings first.
    bool Start(const SynthConfig* config = nullptr)
    {
        settings.reset(lib.new_fluid_settings());
        if (!settings) return false;
        if (config && !config->renderFile.empty()) {
            const std::string name = config->renderFile.string();
            const bool set = lib.fluid_settings_setstr(settings.get(), "audio.file.name", name.c_str()) == FLUID_OK &&
                             lib.fluid_settings_setstr(settings.get(), "audio.file.type",
                                                       config->renderFileType.c_str()) == FLUID_OK &&
                             lib.fluid_settings_setnum(settings.get(), "synth.sample-rate", config->sampleRate) ==
                                 FLUID_OK &&
                             // Nothing is played live, so nothing needs to stay in memory.
                             lib.fluid_settings_setint(settings.get(), "synth.lock-memory", 0) == FLUID_OK;
            if (!set) return false;
            lib.fluid_settings_getint(settings.get(), "audio.period-size", &periodSize);
        }
        synth.reset(lib.new_fluid_synth(settings.get()));
        return synth != nullptr;
    }

    // Tries the configured drivers, or the candidates, in order; the name of
    // the one that started, empty when none did.
    std::string StartAudio(const SynthConfig& config)
    {
        const auto candidates =
            config.audioDrivers.empty() ? DriverCandidates(lib, settings.get()) : config.audioDrivers;
        for (const auto& name : candidates) {
            if (lib.fluid_settings_setstr(settings.get(), "audio.driver", name.c_str()) != FLUID_OK) continue;
            driver.reset(lib.new_fluid_audio_driver(settings.get(), synth.get()));
            if (driver) return name;
        }
        return {};
    }
};

std::optional<std::filesystem::path> FindSoundFont(const SynthConfig& config)
{
    if (!config.soundFont.empty()) {
        if (IsFile(config.soundFont)) return config.soundFont;
        return std::nullopt;
    }
    for (const auto& dir : config.searchDirs) {
        for (const char* name : kSoundFontNames) {
            if (IsFile(dir / name)) return dir / name;
        }
    }
    return std::nullopt;
}

std::unique_ptr<SynthPort> SynthPort::Create(const std::filesystem::path& soundFont,
                                             const SynthConfig& config)
{
    const FluidSynthLib* lib = LoadFluidSynth(config);
    if (lib == nullptr) return nullptr;
    auto engine = std::make_unique<Engine>(*lib);
    if (!engine->Start(&config)) return nullptr;
    if (lib->fluid_synth_sfload(engine->synth.get(), soundFont.c_str(), 1) == FLUID_FAILED) return nullptr;

    std::string started;
    if (!config.renderFile.empty()) {
        engine->renderer.reset(lib->new_fluid_file_renderer(engine->synth.get()));
        if (!engine->renderer) return nullptr;
    } else if (config.audio) {
        started = engine->StartAudio(config);
        if (!engine->driver) return nullptr;
    }
    return std::make_unique<SynthPort>(Key{}, std::move(engine), std::move(started));
}

std::string ProbeAudioDriver(const SynthConfig& config)
{
    const FluidSynthLib* lib = LoadFluidSynth(config);
    if (lib == nullptr) return {};
    // A probe expects drivers to fail; their complaints would only bury the
    // answer. (The log functions are process-wide: probe from one thread.)
    struct QuietLog {
        const FluidSynthLib& lib;
        fluid_log_function_t error = lib.fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
        fluid_log_function_t warning = lib.fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        ~QuietLog()
        {
            lib.fluid_set_log_function(FLUID_ERR, error, nullptr);
            lib.fluid_set_log_function(FLUID_WARN, warning, nullptr);
        }
    } quiet{*lib};
    SynthPort::Engine engine(*lib);
    if (!engine.Start()) return {};
    return engine.StartAudio(config);
}

SynthPort::SynthPort(Key, std::unique_ptr<Engine> engine, std::string audioDriver)
    : engine_(std::move(engine)), audioDriver_(std::move(audioDriver))
{
}

SynthPort::~SynthPort() = default;

bool SynthPort::SendShort(std::uint32_t message)
{
    const auto status = static_cast<std::uint8_t>(message);
    if (!engine_ || ShortMessageSize(status) == 0) return false;
    return ApplyShort(engine_->lib, engine_->synth.get(), status, static_cast<std::uint8_t>(message >> 8),
                      static_cast<std::uint8_t>(message >> 16));
}

// Takes a system-exclusive message or any run of complete messages (an
// escape may carry channel messages, with running status).
bool SynthPort::SendLong(std::span<const std::uint8_t> message)
{
    if (!engine_ || message.empty()) return false;
    const FluidSynthLib& lib = engine_->lib;
    fluid_synth_t* synth = engine_->synth.get();
    bool ok = true;
    std::uint8_t running = 0;
    std::size_t i = 0;
    while (i < message.size()) {
        if (message[i] == 0xF0) {
            const auto begin = message.begin() + static_cast<std::ptrdiff_t>(i) + 1;
            const auto end = std::find(begin, message.end(), std::uint8_t{0xF7});
            if (end == message.end()) return false;  // never terminated
            // The synthesizer wants the body without F0 and F7.
            const auto length = static_cast<int>(end - begin);
            if (length > 0 &&
                lib.fluid_synth_sysex(synth, reinterpret_cast<const char*>(&*begin), length, nullptr, nullptr, nullptr,
                                      0) != FLUID_OK)
                ok = false;
            i = static_cast<std::size_t>(end - message.begin()) + 1;
            running = 0;
            continue;
        }
        std::uint8_t status = message[i];
        if (status & 0x80) {
            ++i;
        } else if (running != 0) {
            status = running;
        } else {
            return false;  // data with no status to belong to
        }
        const int size = ShortMessageSize(status);
        if (size == 0 || i + static_cast<std::size_t>(size - 1) > message.size()) return false;
        std::uint8_t data[2] = {0, 0};
        for (int k = 0; k < size - 1; ++k) {
            data[k] = message[i + static_cast<std::size_t>(k)];
            if (data[k] & 0x80) return false;
        }
        i += static_cast<std::size_t>(size - 1);
        if (status < 0xF0) {
            running = status;
        } else if (status < 0xF8) {
            running = 0;  // system common messages end running status, real-time ones do not
        }
        ok = ApplyShort(lib, synth, status, data[0], data[1]) && ok;
    }
    return ok;
}

// Like a port reset: pedals up and every voice cut, programs and other
// controllers kept. (A full system reset would also do, but leaves the
// synthesizer's voice count wrong.)
bool SynthPort::Reset()
{
    if (!engine_) return false;
    const FluidSynthLib& lib = engine_->lib;
    fluid_synth_t* synth = engine_->synth.get();
    bool ok = true;
    for (int channel = 0; channel < lib.fluid_synth_count_midi_channels(synth); ++channel) {
        ok = lib.fluid_synth_cc(synth, channel, 64, 0) == FLUID_OK && ok;
        ok = lib.fluid_synth_cc(synth, channel, 66, 0) == FLUID_OK && ok;
    }
    return lib.fluid_synth_all_sounds_off(synth, -1) == FLUID_OK && ok;
}

bool SynthPort::Close()
{
    if (!engine_) return false;
    engine_.reset();
    return true;
}

int SynthPort::ActiveVoices() const
{
    return engine_ ? engine_->lib.fluid_synth_get_active_voice_count(engine_->synth.get()) : 0;
}

bool SynthPort::Render(std::span<float> left, std::span<float> right)
{
    if (!engine_ || engine_->driver || left.size() != right.size()) return false;
    if (left.empty()) return true;
    return engine_->lib.fluid_synth_write_float(engine_->synth.get(), static_cast<int>(left.size()), left.data(), 0,
                                                1, right.data(), 0, 1) == FLUID_OK;
}

bool SynthPort::RenderInto(std::int64_t frames)
{
    if (!engine_ || !engine_->renderer) return false;
    while (engine_->framesWritten < frames) {
        if (engine_->lib.fluid_file_renderer_process_block(engine_->renderer.get()) != FLUID_OK) return false;
        engine_->framesWritten += engine_->periodSize;
    }
    return true;
}

std::int64_t SynthPort::FramesRendered() const
{
    return engine_ ? engine_->framesWritten : 0;
}

bool SynthPort::FinishFile()
{
    if (!engine_ || !engine_->renderer) return false;
    engine_->renderer.reset();
    return true;
}

int SynthSystem::DeviceCount()
{
    return FindSoundFont(config_) ? 1 : 0;
}

std::unique_ptr<SynthPort> SynthSystem::OpenSynth(int deviceId)
{
    if (deviceId != kMidiMapper && deviceId != 0) return nullptr;
    const auto soundFont = FindSoundFont(config_);
    if (!soundFont) return nullptr;
    return SynthPort::Create(*soundFont, config_);
}

std::unique_ptr<MidiOutPort> SynthSystem::Open(int deviceId)
{
    return OpenSynth(deviceId);
}

std::string SynthSystem::Name() const
{
    const auto soundFont = FindSoundFont(config_);
    std::string name = "Built-in synthesizer";
    if (soundFont) name += " (" + soundFont->filename().string() + ")";
    return name;
}

}  // namespace rovanta
