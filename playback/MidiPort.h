#pragma once
// The MIDI output layer: a small port interface and the systems that offer
// ports (the built-in synthesizer, sequencer ports, a message log). The
// MidiControler is its only user during playback.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace rovanta {

// One open output. Used by one thread at a time (the player thread, then the
// timer thread, then the player thread again); implementations need no locks
// for that sequence but must not rely on thread identity.
class MidiOutPort {
public:
    virtual ~MidiOutPort() = default;
    // A channel or system message packed as status | d1 << 8 | d2 << 16.
    virtual bool SendShort(std::uint32_t message) = 0;
    // A complete system-exclusive message (F0 ... F7) or raw escape data.
    virtual bool SendLong(std::span<const std::uint8_t> message) = 0;
    // Silences everything still sounding.
    virtual bool Reset() = 0;
    virtual bool Close() = 0;
};

// The device identifier the player always opens: whatever output the system
// maps General MIDI to.
inline constexpr int kMidiMapper = -1;

// What a system offers. DeviceCount() 0 means no output at all.
class MidiOutSystem {
public:
    virtual ~MidiOutSystem() = default;
    virtual int DeviceCount() = 0;
    // Null when the device cannot be opened.
    virtual std::unique_ptr<MidiOutPort> Open(int deviceId) = 0;
    // A human-readable name of the output, for listings and diagnostics.
    virtual std::string Name() const = 0;
};

}  // namespace rovanta
