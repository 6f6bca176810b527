#include <gtest/gtest.h>

#include <vector>

#include "common/TestSinks.h"
#include "song/MusicEvent.h"

namespace rovanta {
namespace {

using test::Recorded;

const std::uint8_t kThree[] = {0x91, 0x3C, 0x64};

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

}  // namespace
}  // namespace rovanta
