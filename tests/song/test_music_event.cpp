#include <gtest/gtest.h>

#include <vector>

#include "common/TestSinks.h"
#include "song/MusicEvent.h"

namespace rovanta {
namespace {

using test::Recorded;
using Reports = std::vector<std::string>;

const std::uint8_t kThree[] = {0x91, 0x3C, 0x64};
const std::string kEventDataError = "MUEV06000002 Error occured in event data!";

TEST(MusicEvent, CopyIsDeepAndTakesTheChannelButAssignKeepsIt)
{
    Recorded r;
    MusicEvent source(7);
    source.kind = kind::kNoteOn;
    source.channel = 3;
    source.note = 60;
    source.SetBytes(kThree, 3);
    source.SetByte(r.ctx, 5, 0xAA);  // in the spare room, beyond length

    MusicEvent copy(source);
    EXPECT_EQ(copy.channel, 3);
    ASSERT_TRUE(copy.bytes);
    EXPECT_NE(copy.bytes.data(), source.bytes.data());
    EXPECT_EQ(copy.bytes.size(), 11u);
    EXPECT_EQ(copy.GetByte(r.ctx, 5), 0);  // only the valid bytes, into a zeroed buffer
    copy.bytes.data()[0] = 0;
    EXPECT_EQ(source.bytes.data()[0], 0x91);

    MusicEvent target;
    target.channel = 9;
    target.Assign(source);
    EXPECT_EQ(target.channel, 9);
    EXPECT_EQ(target.delta, 7);
    EXPECT_EQ(target.note, 60);
    EXPECT_EQ(std::vector<std::uint8_t>(target.Bytes().begin(), target.Bytes().end()),
              std::vector<std::uint8_t>(kThree, kThree + 3));

    // Bytes set from nothing change nothing; assigning an event without bytes drops ours.
    const std::uint8_t* before = target.bytes.data();
    target.SetBytes(nullptr, 0);
    EXPECT_EQ(target.bytes.data(), before);
    EXPECT_EQ(target.length, 3);
    target.Assign(MusicEvent(5));
    EXPECT_FALSE(target.bytes);
    EXPECT_EQ(target.length, 0);
    EXPECT_TRUE(r.Take().empty());
}

// The buffer holds the length and 8 spare bytes: reads there give 0, reads
// beyond report; a write beyond grows the buffer and keeps the length.
TEST(MusicEvent, BytesBeyondTheSpareRoom)
{
    Recorded r;
    MusicEvent e;
    e.SetBytes(kThree, 3);
    EXPECT_EQ(e.GetByte(r.ctx, 2), 0x64);
    EXPECT_EQ(e.GetByte(r.ctx, 3 + 7), 0);
    EXPECT_TRUE(r.Take().empty());
    EXPECT_EQ(e.GetByte(r.ctx, 3 + 8), 0);
    EXPECT_EQ(r.Take(), Reports{kEventDataError});

    e.SetByte(r.ctx, 3 + 8, 0x55);
    EXPECT_EQ(e.length, 3);
    ASSERT_EQ(e.bytes.size(), static_cast<std::size_t>(3 + 8 + 9));
    EXPECT_EQ(std::vector<std::uint8_t>(e.bytes.data(), e.bytes.data() + 3), std::vector<std::uint8_t>(kThree, kThree + 3));
    EXPECT_EQ(e.bytes.data()[11], 0x55);
    EXPECT_TRUE(r.Take().empty());

    // Without a buffer every access reports and changes nothing.
    MusicEvent none;
    EXPECT_EQ(none.GetByte(r.ctx, 0), 0);
    std::uint8_t out[4] = {1, 1, 1, 1};
    EXPECT_EQ(none.CopyBytesTo(r.ctx, out), 0);
    EXPECT_EQ(out[0], 1);
    none.SetByte(r.ctx, 2, 1);  // within length + 8 but no buffer
    EXPECT_FALSE(none.bytes);
    EXPECT_EQ(r.Take(), Reports(3, kEventDataError));
}

}  // namespace
}  // namespace rovanta
