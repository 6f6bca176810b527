#include "mirror/Pitch.h"

#include <array>
#include <cctype>
#include <charconv>

namespace rovanta {

namespace {

constexpr std::array<std::int32_t, 7> kMajor{0, 2, 4, 5, 7, 9, 11};
constexpr std::array<std::int32_t, 7> kMinor{0, 2, 3, 5, 7, 8, 10};

std::int32_t FloorDiv(std::int32_t a, std::int32_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// The pitch class of a letter and an optional accidental at the front of
// `text`, which is consumed; nothing when there is no letter.
std::optional<std::int32_t> TakePitchClass(std::string_view& text)
{
    static constexpr std::array<std::int32_t, 7> kLetters{9, 11, 0, 2, 4, 5, 7};  // A to G
    if (text.empty()) return std::nullopt;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter < 'A' || letter > 'G') return std::nullopt;
    std::int32_t pc = kLetters[static_cast<std::size_t>(letter - 'A')];
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '#') {
        ++pc;
        text.remove_prefix(1);
    } else if (!text.empty() && text[0] == 'b') {
        --pc;
        text.remove_prefix(1);
    }
    return pc;
}

struct Degree {
    std::int32_t position;    // 7 per octave above the tonic's octave 0
    std::int32_t alteration;  // 1 for a raised degree (a note outside the scale)
};

Degree DegreeOf(std::int32_t note, const MusicalKey& key)
{
    const auto& scale = key.minor ? kMinor : kMajor;
    const std::int32_t relative = note - key.tonic;
    const std::int32_t octave = FloorDiv(relative, 12);
    const std::int32_t pc = relative - 12 * octave;
    for (std::int32_t d = 6; d >= 0; --d) {
        // Either scale the key uses has no two neighbouring notes outside it,
        // so a note outside is the degree below it raised.
        if (scale[static_cast<std::size_t>(d)] <= pc)
            return {7 * octave + d, pc - scale[static_cast<std::size_t>(d)]};
    }
    return {7 * octave, 0};
}

}  // namespace

std::optional<std::int32_t> ParseAxis(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        std::int32_t whole = 0;
        const char* end = text.data() + text.size();
        auto [next, error] = std::from_chars(text.data(), end, whole);
        if (error != std::errc()) return std::nullopt;
        const std::string_view rest(next, static_cast<std::size_t>(end - next));
        std::int32_t twice = 2 * whole;
        if (rest == ".5")
            ++twice;
        else if (!rest.empty() && rest != ".0")
            return std::nullopt;
        if (whole > 127 || twice > 254) return std::nullopt;
        return twice;
    }
    const std::optional<std::int32_t> pc = TakePitchClass(text);
    if (!pc || text.empty()) return std::nullopt;
    std::int32_t octave = 0;
    auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), octave);
    if (error != std::errc() || next != text.data() + text.size()) return std::nullopt;
    const std::int64_t note = std::int64_t{octave + 1} * 12 + *pc;
    if (note < 0 || note > 127) return std::nullopt;
    return static_cast<std::int32_t>(2 * note);
}

std::string AxisName(std::int32_t twiceAxis)
{
    if (twiceAxis % 2 != 0) return std::to_string(twiceAxis / 2) + ".5";
    static constexpr std::array<const char*, 12> kNames{"C", "C#", "D", "D#", "E", "F",
                                                        "F#", "G", "G#", "A", "A#", "B"};
    const std::int32_t note = twiceAxis / 2;
    return std::string(kNames[static_cast<std::size_t>(note % 12)]) + std::to_string(note / 12 - 1);
}

std::optional<MusicalKey> ParseKey(std::string_view text)
{
    const std::optional<std::int32_t> pc = TakePitchClass(text);
    if (!pc) return std::nullopt;
    MusicalKey key{(*pc + 12) % 12, false};
    if (text == "m")
        key.minor = true;
    else if (!text.empty())
        return std::nullopt;
    return key;
}

std::string KeyName(const MusicalKey& key)
{
    static constexpr std::array<const char*, 12> kMajorNames{"C", "Db", "D", "Eb", "E", "F",
                                                             "F#", "G", "Ab", "A", "Bb", "B"};
    static constexpr std::array<const char*, 12> kMinorNames{"Cm", "C#m", "Dm", "Ebm", "Em", "Fm",
                                                             "F#m", "Gm", "G#m", "Am", "Bbm", "Bm"};
    const auto pc = static_cast<std::size_t>((key.tonic % 12 + 12) % 12);
    return key.minor ? kMinorNames[pc] : kMajorNames[pc];
}

MusicalKey KeyOfTrack(const MidiTrackData& track)
{
    for (const MusicEvent& e : track.Events()) {
        if (!e.IsMeta(meta::kKeySignature)) continue;
        const auto bytes = e.Bytes();
        if (bytes.size() < 2) break;
        const auto sharps = static_cast<std::int8_t>(bytes[0]);
        if (sharps < -7 || sharps > 7 || bytes[1] > 1) break;
        const std::int32_t major = (sharps * 7 % 12 + 12) % 12;
        return bytes[1] == 1 ? MusicalKey{(major + 9) % 12, true} : MusicalKey{major, false};
    }
    return MusicalKey{};
}

std::int32_t ReflectInKey(std::int32_t note, std::int32_t twiceAxis, const MusicalKey& key)
{
    const auto& scale = key.minor ? kMinor : kMajor;
    const std::int32_t low = FloorDiv(twiceAxis, 2);
    const Degree below = DegreeOf(low, key);
    std::int32_t twiceCentre = 2 * below.position;
    if (twiceAxis % 2 != 0) {
        const Degree above = DegreeOf(low + 1, key);
        if (below.alteration == 0 && above.alteration == 0 && above.position == below.position + 1)
            twiceCentre += 1;
    }
    const Degree d = DegreeOf(note, key);
    const std::int32_t position = twiceCentre - d.position;
    const std::int32_t octave = FloorDiv(position, 7);
    const std::int32_t degree = position - 7 * octave;
    return key.tonic + 12 * octave + scale[static_cast<std::size_t>(degree)] - d.alteration;
}

}  // namespace rovanta
