#pragma once
// One open MIDI output port for one playback: packs channel messages into
// short messages, sends system-exclusive data, and resets and closes the port
// at the end. Owned by the MidiPlayer; used by one thread at a time (the player
// thread, then the timer callbacks, then the player thread again).

#include <cstdint>
#include <memory>
#include <span>

#include "playback/MidiPort.h"
#include "support/Report.h"

namespace rovanta {

class RunContext;

namespace mdct {
inline constexpr std::uint32_t kCanNotOpen = 0x07000001;
inline constexpr std::uint32_t kCanNotClose = 0x07000002;
inline constexpr std::uint32_t kCanNotChangeTone = 0x07000003;
inline constexpr std::uint32_t kCanNotSendSysEx = 0x07000004;
inline constexpr std::uint32_t kInvalidParameter = 0x07000005;
}  // namespace mdct

extern const ErrorTable kControlerErrors;

// status | d1 << 8 | d2 << 16, each cut to its low 8 bits.
std::uint32_t PackShort(std::int32_t status, std::int32_t data1, std::int32_t data2);

class MidiControler {
public:
    // Opens the device; afterwards the port is open or IsOpen() is false. The
    // "no device" message shows once per run (the context's device flag);
    // reports go to `reports`, which the player shows once it may block.
    MidiControler(RunContext& ctx, ReportSink& reports, MidiOutSystem& system, int deviceId);
    ~MidiControler() = default;  // Close() is the owner's explicit step

    MidiControler(const MidiControler&) = delete;
    MidiControler& operator=(const MidiControler&) = delete;

    bool IsOpen() const { return port_ != nullptr; }
    // Resets (silencing what still sounds), then closes; both are tried.
    void Close();

    void NoteOn(std::int32_t note, std::int32_t velocity, std::int32_t channel);
    void NoteOff(std::int32_t note, std::int32_t channel);
    void ProgramChange(std::int32_t program, std::int32_t channel);
    void SendShort(std::int32_t data2, std::int32_t data1, std::int32_t status);
    // System-exclusive data in the form the reader stores it: F0, its length,
    // the message ending with F7; or F7, one length byte, the raw data.
    void SendLong(std::span<const std::uint8_t> stored);
    void SendGmSystemOn();

    void ReportError(std::uint32_t code) const;

private:
    ReportSink* reports_;
    std::unique_ptr<MidiOutPort> port_;
};

}  // namespace rovanta
