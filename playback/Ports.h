#pragma once
// The MIDI outputs the program can play on, and how to make them: the built-in
// synthesizer (the device the player opens by default), the system's sequencer
// ports chosen by name, and a message log.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "playback/LogPort.h"
#include "playback/MidiPort.h"
#include "playback/SynthPort.h"

namespace rovanta {

// Bytes a short message takes, status byte included, judged by its status
// byte; 0 when the byte cannot start one (a data byte, F0 or F7).
int ShortMessageSize(std::uint8_t status);

std::unique_ptr<MidiOutSystem> MakeSynthSystem(SynthConfig config = {});
// `port` is a port name as ListOutputs() shows it, or its number.
std::unique_ptr<MidiOutSystem> MakeRtMidiSystem(std::string port);
// The stream must outlive every port opened from the system.
std::unique_ptr<MidiOutSystem> MakeLogSystem(std::ostream& out, LogClock clock = {});
std::unique_ptr<MidiOutSystem> MakeLogSystem(std::filesystem::path path, LogClock clock = {});

struct OutputList {
    bool synthAvailable = false;      // it has a SoundFont and an audio driver starts
    std::filesystem::path soundFont;  // the SoundFont the synthesizer would load
    std::string audioDriver;          // the audio driver it would sound through
    std::string synthProblem;         // why it is not available
    std::vector<std::string> rtMidiPorts;
};

// What can be played on right now; never fails, an unreachable sequencer
// simply lists no ports. The synthesizer counts only when its audio output
// really starts (it is started and stopped again).
OutputList ListOutputs(const SynthConfig& synth = {});

}  // namespace rovanta
