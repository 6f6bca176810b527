#include <gtest/gtest.h>

#include <vector>

#include "common/TestSinks.h"
#include "playback/MidiControler.h"
#include "playback/PlaybackFakes.h"

namespace rovanta {
namespace {

using Strings = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

const std::string kCanNotOpen = "MDCT07000001 Can not open Midi device!";

TEST(MidiControler, PacksMessagesAndSendsSystemExclusiveFromItsStoredForm)
{
    test::Recorded r;
    test::RecordingPorts ports([] { return 0; });
    MidiControler device(r.ctx, r.sink, ports, kMidiMapper);
    device.NoteOn(60, 200, 3);    // low byte 0xC8 is above 127
    device.NoteOn(60, 0x140, 3);  // low byte 0x40 is a velocity of its own
    device.NoteOff(60, 15);
    device.ProgramChange(5, 9);
    device.SendShort(0x1FF, 0x100, 0x1E0);  // each byte cut to 8 bits
    device.NoteOn(64, 90, 16);              // the channel is added to the status
    device.SendGmSystemOn();
    device.SendLong(Bytes{0xF7, 0x03, 0x01, 0x02, 0x03});
    for (const Bytes& nothing : {Bytes{0xF0, 0x00}, Bytes{0xF7, 0x00}, Bytes{0x90, 0x3C}, Bytes{}})
        device.SendLong(nothing);
    // 299 bytes of body behind a two-byte length (0x82 0x2B) go out whole.
    Bytes stored{0xF0, 0x82, 0x2B}, expected{0xF0};
    for (int i = 0; i < 299; ++i) {
        stored.push_back(static_cast<std::uint8_t>(i == 298 ? 0xF7 : i & 0x7F));
        expected.push_back(stored.back());
    }
    device.SendLong(stored);
    EXPECT_EQ(ports.Texts(), (Strings{"93 3C 7F", "93 3C 40", "8F 3C 00", "C9 05 00", "E0 00 FF", "A0 40 5A",
                                      "F0 7E 7F 09 01 F7", "01 02 03", test::Hex(expected)}));
    EXPECT_TRUE(r.Take().empty());
}

TEST(MidiControler, ReportsOnlyTheFailuresThatHaveAMessage)
{
    test::Recorded r, nextRun;
    test::RecordingPorts ports([] { return 0; });
    ports.devices = 0;
    MidiControler first(r.ctx, r.sink, ports, kMidiMapper), second(r.ctx, r.sink, ports, kMidiMapper);
    second.NoteOn(60, 100, 0);
    second.Close();
    MidiControler third(nextRun.ctx, nextRun.sink, ports, kMidiMapper);
    EXPECT_EQ(r.Take(), Strings{kCanNotOpen});  // once per run
    EXPECT_EQ(nextRun.Take(), Strings{kCanNotOpen});
    ports.devices = 1;
    ports.openFails = true;
    MidiControler fourth(r.ctx, r.sink, ports, kMidiMapper), fifth(r.ctx, r.sink, ports, kMidiMapper);
    EXPECT_EQ(r.Take(), (Strings{kCanNotOpen, kCanNotOpen}));  // every time
    EXPECT_FALSE(fifth.IsOpen());
    EXPECT_TRUE(ports.Log().empty());

    ports.openFails = false;
    ports.shortFails = ports.resetFails = ports.closeFails = true;
    MidiControler device(r.ctx, r.sink, ports, kMidiMapper);
    device.NoteOn(60, 100, 0);
    device.NoteOff(60, 0);
    device.SendShort(1, 2, 0xB0);
    device.ProgramChange(1, 0);
    // Both closing steps are tried, the reset first so that sounding notes stop.
    device.Close();
    device.Close();
    EXPECT_EQ(ports.Texts(), (Strings{"90 3C 64", "80 3C 00", "B0 02 01", "C0 01 00", "reset", "close"}));
    EXPECT_EQ(r.Take(), (Strings{"MDCT07000003 Can not change tone with Midi device!",
                                 "MDCT07000002 Can not close Midi device!", "MDCT07000002 Can not close Midi device!"}));
    EXPECT_EQ(FormatReport(kControlerErrors, 0x07000009), "MDCT07000009 Error occured in MidiControler!");
}

}  // namespace
}  // namespace rovanta
