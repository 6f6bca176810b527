#pragma once
// Outputs of the system's MIDI sequencer (ALSA or JACK, whichever is
// reachable), chosen by name. Failures of the sequencer library end as a
// false result or a null port; nothing is thrown past this layer.

#include <memory>
#include <string>
#include <vector>

#include "playback/MidiPort.h"

namespace rovanta {

// The sequencer library, loaded when ports are first listed or opened. When
// it cannot be loaded no sequencer can be reached.
inline constexpr const char* kRtMidiLibrary = "librtmidi.so.6";

// The sequencer's output port names, numbered by position; empty when no
// sequencer can be reached.
std::vector<std::string> ListRtMidiPorts(const std::string& library = kRtMidiLibrary);

// The port given by exact name (or, when no port has that name, by its number
// in ListRtMidiPorts()) is what the player gets as the MIDI mapper.
class RtMidiSystem : public MidiOutSystem {
public:
    explicit RtMidiSystem(std::string port, std::string library = kRtMidiLibrary)
        : port_(std::move(port)), library_(std::move(library))
    {
    }

    // The ports the sequencer offers now.
    int DeviceCount() override;
    // The mapper opens the chosen port, 0 and up the port with that number.
    // Null when the port is not there or refuses the connection.
    std::unique_ptr<MidiOutPort> Open(int deviceId) override;
    std::string Name() const override { return "MIDI port " + port_; }

private:
    std::string port_;
    std::string library_;
};

}  // namespace rovanta
