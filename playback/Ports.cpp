#include "playback/Ports.h"

#include "playback/RtMidiPort.h"

namespace rovanta {

int ShortMessageSize(std::uint8_t status)
{
    if (status < 0x80) return 0;
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 2;
    case 0xF0: break;
    default: return 3;
    }
    switch (status) {
    case 0xF0:
    case 0xF7: return 0;  // system exclusive goes as a long message
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    default: return 1;
    }
}

std::unique_ptr<MidiOutSystem> MakeSynthSystem(SynthConfig config)
{
    return std::make_unique<SynthSystem>(std::move(config));
}

std::unique_ptr<MidiOutSystem> MakeRtMidiSystem(std::string port)
{
    return std::make_unique<RtMidiSystem>(std::move(port));
}

std::unique_ptr<MidiOutSystem> MakeLogSystem(std::ostream& out, LogClock clock)
{
    return std::make_unique<LogSystem>(out, std::move(clock));
}

std::unique_ptr<MidiOutSystem> MakeLogSystem(std::filesystem::path path, LogClock clock)
{
    return std::make_unique<LogSystem>(std::move(path), std::move(clock));
}

OutputList ListOutputs(const SynthConfig& synth)
{
    OutputList list;
    if (const auto soundFont = FindSoundFont(synth)) {
        list.soundFont = *soundFont;
        list.audioDriver = ProbeAudioDriver(synth);
        list.synthAvailable = !list.audioDriver.empty();
        if (!list.synthAvailable) list.synthProblem = "no audio driver opens";
    } else {
        list.synthProblem = "no SoundFont found";
    }
    list.rtMidiPorts = ListRtMidiPorts();
    return list;
}

}  // namespace rovanta
