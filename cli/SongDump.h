#pragma once
// A song as readable text: a header line (division, event count, form), then
// one line per event with its absolute tick, its delta time, its kind and the
// fields that kind uses.

#include <ostream>
#include <string>

#include "song/MidiF0Data.h"
#include "song/MusicEvent.h"

namespace rovanta::cli {

// "note-on ch=2 note=60 vel=100", "meta type=0x51 tempo=500000", ...
std::string DescribeEvent(const MusicEvent& event);

void DumpSong(const MidiF0Data& song, std::ostream& out);

}  // namespace rovanta::cli
