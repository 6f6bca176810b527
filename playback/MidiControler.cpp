#include "playback/MidiControler.h"

#include <vector>

#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {mdct::kCanNotOpen, "Can not open Midi device!"},
    {mdct::kCanNotClose, "Can not close Midi device!"},
    {mdct::kCanNotChangeTone, "Can not change tone with Midi device!"},
    {mdct::kCanNotSendSysEx, "Can not send system exclusive with midi device!"},
    {mdct::kInvalidParameter, "Invalid parameter in Midi!"},
};

constexpr int kNoDeviceFlag = 0;
// A length is at most four bytes of seven bits.
constexpr std::size_t kMaxLengthBytes = 4;
}  // namespace

const ErrorTable kControlerErrors{"MDCT", kRows, "Error occured in MidiControler!"};

std::uint32_t PackShort(std::int32_t status, std::int32_t data1, std::int32_t data2)
{
    return (static_cast<std::uint32_t>(status) & 0xFF) | (static_cast<std::uint32_t>(data1) & 0xFF) << 8 |
           (static_cast<std::uint32_t>(data2) & 0xFF) << 16;
}

MidiControler::MidiControler(RunContext& ctx, ReportSink& reports, MidiOutSystem& system, int deviceId)
    : reports_(&reports)
{
    if (system.DeviceCount() == 0) {
        if (ctx.deviceWarnings.TryTake(kNoDeviceFlag)) ReportError(mdct::kCanNotOpen);
        return;
    }
    port_ = system.Open(deviceId);
    if (!port_) ReportError(mdct::kCanNotOpen);
}

void MidiControler::Close()
{
    if (!port_) return;
    if (!port_->Reset()) ReportError(mdct::kCanNotClose);
    if (!port_->Close()) ReportError(mdct::kCanNotClose);
    port_.reset();
}

void MidiControler::NoteOn(std::int32_t note, std::int32_t velocity, std::int32_t channel)
{
    if (!port_) return;
    const std::int32_t v = velocity & 0xFF;
    port_->SendShort(PackShort(0x90 + channel, note, v > 127 ? 127 : v));
}

void MidiControler::NoteOff(std::int32_t note, std::int32_t channel)
{
    if (port_) port_->SendShort(PackShort(0x80 + channel, note, 0));
}

void MidiControler::ProgramChange(std::int32_t program, std::int32_t channel)
{
    if (port_ && !port_->SendShort(PackShort(0xC0 + channel, program, 0))) ReportError(mdct::kCanNotChangeTone);
}

void MidiControler::SendShort(std::int32_t data2, std::int32_t data1, std::int32_t status)
{
    if (port_) port_->SendShort(PackShort(status, data1, data2));
}

void MidiControler::SendLong(std::span<const std::uint8_t> stored)
{
    if (!port_ || stored.empty()) return;
    // The port takes a message of any size, so long data goes out whole.
    std::vector<std::uint8_t> message;
    if (stored[0] == 0xF0) {
        // The length is a variable-length number: skip its continuation bytes
        // and its last byte, whatever its size.
        std::size_t body = 1;
        while (body < stored.size() && body < kMaxLengthBytes && (stored[body] & 0x80)) ++body;
        ++body;
        if (body >= stored.size()) return;
        message.reserve(stored.size() - body + 1);
        message.push_back(0xF0);
        message.insert(message.end(), stored.begin() + static_cast<std::ptrdiff_t>(body), stored.end());
    } else if (stored[0] == 0xF7) {
        if (stored.size() <= 2) return;
        message.assign(stored.begin() + 2, stored.end());
    } else {
        return;
    }
    // A message the port refuses is dropped; playback goes on.
    port_->SendLong(message);
}

void MidiControler::SendGmSystemOn()
{
    static constexpr std::uint8_t kStored[] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    SendLong(kStored);
}

void MidiControler::ReportError(std::uint32_t code) const
{
    reports_->Show(FormatReport(kControlerErrors, code));
}

}  // namespace rovanta
