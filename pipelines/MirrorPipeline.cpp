#include "pipelines/MirrorPipeline.h"

#include <utility>

#include "mirror/Mirror.h"
#include "playback/MusicPlayer.h"
#include "smf/SmfWriter.h"

namespace rovanta {

void ApplyReversals(MidiF0Data& copy, const MirrorSettings& settings)
{
    const MirrorOptions& options = settings.options;
    VerticalAxis axis{options.twiceAxis, std::nullopt};
    // The key is the song's as loaded: reversed, its last key signature would come first.
    if (settings.vertical && options.diatonic && copy.HasTrack())
        axis.diatonicKey = options.key ? *options.key : KeyOfTrack(copy.Track());
    if (settings.horizontal) ReverseHorizontal(copy, options.controls);
    if (settings.vertical) {
        ReverseVertical(copy, axis);
        if (settings.raiseOctave == 1) TransposeNotes(copy, 12);
    }
    if (options.trim) TrimLeadingMeasures(copy);
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

MidiF0Data EncodeMirrored(MidiF0Data&& loaded, const MirrorSettings& settings)
{
    MidiF0Data song = std::move(loaded);
    song.UnpairTrack();
    ApplyReversals(song, settings);
    Encode(song);
    return song;
}

int SaveMirrored(MidiF0Data&& loaded, const MirrorSettings& settings, FileChooser& chooser)
{
    MidiF0Data song = EncodeMirrored(std::move(loaded), settings);
    return Save(song, chooser);
}

}  // namespace rovanta
