#include "pipelines/MirrorPipeline.h"

#include <utility>

#include "mirror/Mirror.h"
#include "smf/SmfWriter.h"

namespace rovanta {

void ApplyReversals(MidiF0Data& copy, const MirrorSettings& settings)
{
    if (settings.horizontal) ReverseHorizontal(copy);
    if (settings.vertical) {
        ReverseVertical(copy);
        if (settings.raiseOctave == 1) TransposeNotes(copy, 12);
    }
}

MidiF0Data MirroredCopy(const MidiF0Data& loaded, const MirrorSettings& settings)
{
    MidiF0Data copy = MidiF0Data::Copy(loaded);
    copy.UnpairTrack();
    ApplyReversals(copy, settings);
    return copy;
}

int SaveMirrored(const MidiF0Data& loaded, const MirrorSettings& settings, FileChooser& chooser)
{
    MidiF0Data copy = MirroredCopy(loaded, settings);
    Encode(copy);
    return Save(copy, chooser);
}

int SaveMirrored(MidiF0Data&& loaded, const MirrorSettings& settings, FileChooser& chooser)
{
    MidiF0Data song = std::move(loaded);
    song.UnpairTrack();
    ApplyReversals(song, settings);
    Encode(song);
    return Save(song, chooser);
}

}  // namespace rovanta
