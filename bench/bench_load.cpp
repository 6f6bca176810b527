// Loading a file as the Load command does: MidiFileLoader::Load, then
// BuildSong, from a file on tmpfs (so the disk is not what is measured).
//
// Inputs: the largest files of the shared test corpus, and synthetic files at
// the limits written at start-up: format 0 with one track and format 1 with 16
// tracks, 131,072 events and exactly 393,216 bytes, written with running status
// as real files are. Bytes per second count the file; items per second count
// the events in its track chunks; both per second of process CPU time (the
// machines are shared). Tearing the song down is not timed.
//
// The corpus is found through the environment variable ROVANTA_CORPUS, else
// ROVANTA_SHARED_DIR/corpus when the build defines it, else a folder
// shared/corpus beside one of the executable's parent folders; without it only
// the synthetic files are measured.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "smf/MidiFileLoader.h"
#include "song/MidiTrackData.h"
#include "support/RunContext.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMaxEvents = kCapacity / 3;  // 131,072: one track's table

class CountingSink : public ReportSink {
public:
    void Show(std::string_view) override { ++count; }
    int count = 0;
};

// ---- Writing synthetic files ------------------------------------------------

void PutVlq(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int n = 0;
    groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
    while (value >>= 7) groups[n++] = static_cast<std::uint8_t>((value & 0x7F) | 0x80);
    while (n > 0) out.push_back(groups[--n]);
}

void PutId(std::vector<std::uint8_t>& out, const char (&id)[5])
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

void PutBe(std::vector<std::uint8_t>& out, std::uint32_t value, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The events of one track chunk, written with running status.
class TrackWriter {
public:
    void Channel(std::uint32_t delta, std::uint8_t status, std::uint8_t d1, int d2 = -1)
    {
        PutVlq(bytes, delta);
        if (status != running_) bytes.push_back(status);
        running_ = status;
        bytes.push_back(d1);
        if (d2 >= 0) bytes.push_back(static_cast<std::uint8_t>(d2));
        ++events;
    }
    // Writers commonly restate the status after a meta event; so does this one.
    void Meta(std::uint32_t delta, std::uint8_t type, std::initializer_list<std::uint8_t> payload)
    {
        PutVlq(bytes, delta);
        bytes.push_back(0xFF);
        bytes.push_back(type);
        PutVlq(bytes, static_cast<std::uint32_t>(payload.size()));
        for (const std::uint8_t b : payload) bytes.push_back(b);
        running_ = 0;
        ++events;
    }
    void EndOfTrack() { Meta(0, 0x2F, {}); }

    std::vector<std::uint8_t> bytes;
    std::int64_t events = 0;

private:
    std::uint8_t running_ = 0;
};

// A track of exactly `events` events (End of Track included) in exactly `size`
// bytes: phrases of two overlapping voices (note offs written as note-on
// velocity 0, so the status stays), each phrase opened by a program change,
// then a run of channel pressure whose length absorbs the difference (2 bytes
// an event against 3 for a note). `channel` -1 gives each phrase the next
// channel, as a format-0 file mixes them.
std::vector<std::uint8_t> MakeTrack(int channel, bool conductor, std::int64_t events, std::int64_t size)
{
    TrackWriter w;
    if (conductor) {
        w.Meta(0, 0x03, {'L', 'i', 'm', 'i', 't'});
        w.Meta(0, 0x51, {0x07, 0xA1, 0x20});
        w.Meta(0, 0x58, {4, 2, 24, 8});
    }
    // Bytes left over if the rest were a pressure run and the End of Track.
    auto slack = [&] {
        const std::int64_t rest = events - w.events - 1;
        const std::int64_t pressureRun = rest > 0 ? 2 * rest + 1 : 0;
        return size - static_cast<std::int64_t>(w.bytes.size()) - pressureRun - 4;
    };
    int current = channel < 0 ? 0 : channel;
    constexpr int kGroupsPerPhrase = 16;
    // A group of four note events costs 4 bytes of slack, 6 with its phrase's
    // program change; stopping below 8 keeps the slack from going negative.
    for (std::int64_t group = 0;; ++group) {
        const bool phraseStart = group % kGroupsPerPhrase == 0;
        if (w.events + (phraseStart ? 5 : 4) + 1 >= events || slack() < 8) break;
        const std::int64_t phrase = group / kGroupsPerPhrase;
        if (phraseStart) {
            if (channel < 0) current = static_cast<int>(phrase % 16);
            w.Channel(0, static_cast<std::uint8_t>(0xC0 | current), static_cast<std::uint8_t>(phrase % 8));
        }
        const auto note = static_cast<std::uint8_t>(0x90 | current);
        const auto low = static_cast<std::uint8_t>(48 + (group * 7) % 36);
        const auto high = static_cast<std::uint8_t>(low + 4);
        w.Channel(24, note, low, 90);  // voice A starts
        w.Channel(0, note, high, 70);  // voice B joins
        w.Channel(96, note, low, 0);   // A ends
        w.Channel(0, note, high, 0);   // B ends
    }
    // The pressure run, restating its status where bytes are still missing.
    std::int64_t extra = slack();
    const auto pressure = static_cast<std::uint8_t>(0xD0 | current);
    for (bool first = true; w.events + 1 < events; first = false) {
        PutVlq(w.bytes, 12);
        if (first || extra > 0) {
            w.bytes.push_back(pressure);
            if (!first) --extra;
        }
        w.bytes.push_back(static_cast<std::uint8_t>(w.events % 128));
        ++w.events;
    }
    w.EndOfTrack();
    if (w.events != events || static_cast<std::int64_t>(w.bytes.size()) != size) {
        std::fprintf(stderr, "bench_load: a synthetic track came out as %lld events in %zu bytes, not %lld in %lld\n",
                     static_cast<long long>(w.events), w.bytes.size(), static_cast<long long>(events),
                     static_cast<long long>(size));
        std::abort();
    }
    return std::move(w.bytes);
}

std::vector<std::uint8_t> MakeFile(int tracks, std::int64_t events, std::int64_t size)
{
    std::vector<std::uint8_t> file;
    const std::int64_t header = 14 + 8 * std::int64_t{tracks};
    const std::int64_t body = size - header;
    PutId(file, "MThd");
    PutBe(file, 6, 4);
    PutBe(file, tracks == 1 ? 0 : 1, 2);
    PutBe(file, static_cast<std::uint32_t>(tracks), 2);
    PutBe(file, 480, 2);
    for (int t = 0; t < tracks; ++t) {
        // Events and bytes shared out evenly; the first tracks take the remainders.
        const std::int64_t trackEvents = events / tracks + (t < events % tracks ? 1 : 0);
        const std::int64_t trackBytes = body / tracks + (t < body % tracks ? 1 : 0);
        const std::vector<std::uint8_t> track = MakeTrack(tracks == 1 ? -1 : t % 16, t == 0, trackEvents, trackBytes);
        PutId(file, "MTrk");
        PutBe(file, static_cast<std::uint32_t>(track.size()), 4);
        file.insert(file.end(), track.begin(), track.end());
    }
    return file;
}

// ---- Reading real files ---------------------------------------------------

// Events in the track chunks of a file, by a plain walk of its bytes.
std::int64_t CountEvents(const std::vector<std::uint8_t>& f)
{
    auto at = [&](std::size_t i) -> std::uint32_t { return i < f.size() ? f[i] : 0; };
    auto vlq = [&](std::size_t& p) {
        std::uint32_t v = 0;
        while (p < f.size() && (f[p] & 0x80)) v = (v << 7) | (f[p++] & 0x7F);
        v = (v << 7) | at(p++);
        return v;
    };
    std::size_t pos = 0;
    if (f.size() >= 132 && std::memcmp(f.data(), "MThd", 4) != 0 && std::memcmp(f.data() + 128, "MThd", 4) == 0)
        pos = 128;
    pos += 8 + ((at(pos + 4) << 24) | (at(pos + 5) << 16) | (at(pos + 6) << 8) | at(pos + 7));
    std::int64_t count = 0;
    while (pos + 8 <= f.size()) {
        const std::size_t length = (at(pos + 4) << 24) | (at(pos + 5) << 16) | (at(pos + 6) << 8) | at(pos + 7);
        const bool track = std::memcmp(f.data() + pos, "MTrk", 4) == 0 || std::memcmp(f.data() + pos, "XFKM", 4) == 0;
        const std::size_t end = std::min(f.size(), pos + 8 + length);
        std::uint32_t running = 0;
        for (std::size_t p = pos + 8; track && p < end; ++count) {
            vlq(p);
            const std::uint32_t b = at(p);
            if (b == 0xFF) {
                p += 2;
                p += vlq(p);
            } else if (b == 0xF0 || b == 0xF7) {
                ++p;
                p += vlq(p);
            } else {
                if (b & 0x80) {
                    running = b;
                    ++p;
                }
                p += ((running & 0xF0) == 0xC0 || (running & 0xF0) == 0xD0) ? 1 : 2;
            }
        }
        pos += 8 + length;
    }
    return count;
}

std::vector<std::uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::optional<fs::path> FindCorpus()
{
    if (const char* env = std::getenv("ROVANTA_CORPUS"); env && *env) return fs::path(env);
#ifdef ROVANTA_SHARED_DIR
    if (fs::is_directory(fs::path(ROVANTA_SHARED_DIR) / "corpus")) return fs::path(ROVANTA_SHARED_DIR) / "corpus";
#endif
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    for (fs::path dir = exe.parent_path(); dir.has_relative_path(); dir = dir.parent_path()) {
        std::error_code missing;
        if (fs::is_directory(dir / "shared" / "corpus", missing)) return dir / "shared" / "corpus";
    }
    return std::nullopt;
}

// ---- The benchmark ----------------------------------------------------------

struct Input {
    std::string path;
    std::int64_t bytes = 0;
    std::int64_t events = 0;
    bool mustLoad = true;  // synthetic files and corpus files within the limits
};

void LoadFile(benchmark::State& state, const Input& input)
{
    std::int32_t songEvents = 0;
    int reports = 0;
    for (auto _ : state) {
        CountingSink sink;
        RunContext ctx(sink);
        std::optional<MidiFileLoader> loader(std::in_place, ctx);
        loader->Load(input.path);
        if (loader->FileLength() != 0) loader->BuildSong();
        benchmark::DoNotOptimize(loader->Song());
        state.PauseTiming();
        songEvents = loader->Song() ? loader->Song()->Track().Count() : 0;
        reports = sink.count;
        loader.reset();
        state.ResumeTiming();
        if (songEvents == 0 && input.mustLoad) {
            state.SkipWithError("the file did not load");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * input.bytes);
    state.SetItemsProcessed(state.iterations() * input.events);
    state.counters["file_events"] = static_cast<double>(input.events);
    state.counters["song_events"] = songEvents;
    state.counters["reports"] = reports;
}

// Writes the inputs to a private folder on tmpfs and registers one benchmark
// each; removes the folder when the program ends.
class Inputs {
public:
    Inputs()
    {
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path(ec);
        dir_ = base / ("rovanta-bench-load-" + std::to_string(::getpid()));
        fs::create_directories(dir_, ec);

        struct Synthetic {
            const char* name;
            int tracks;
            std::int64_t events;
        };
        for (const Synthetic& s : {Synthetic{"format0_1track", 1, kMaxEvents / 8}, Synthetic{"format0_1track", 1, kMaxEvents},
                                   Synthetic{"format1_16tracks", 16, kMaxEvents / 8},
                                   Synthetic{"format1_16tracks", 16, kMaxEvents}}) {
            // Three bytes an event, like a dense file written with running status.
            const std::vector<std::uint8_t> file = MakeFile(s.tracks, s.events, 3 * s.events);
            const std::string name = std::string(s.name) + "_" + std::to_string(s.events) + "ev_" +
                                     std::to_string(file.size()) + "B";
            Add("BM_LoadSynthetic/" + name, file, true);
        }

        const std::optional<fs::path> corpus = FindCorpus();
        if (!corpus) {
            std::fprintf(stderr, "bench_load: no corpus found (set ROVANTA_CORPUS); measuring synthetic files only\n");
            return;
        }
        std::vector<std::pair<std::uintmax_t, fs::path>> files;
        for (const auto& entry : fs::directory_iterator(*corpus, ec)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".mid" || ext == ".midi" || ext == ".kar"))
                files.emplace_back(entry.file_size(), entry.path());
        }
        std::sort(files.rbegin(), files.rend());
        // The largest one beyond the reader's capacity shows the cost of a refused chunk.
        int withinLimit = 0;
        bool overLimit = false;
        for (const auto& [size, path] : files) {
            const bool within = size <= static_cast<std::uintmax_t>(kCapacity);
            if (within ? withinLimit++ >= 3 : std::exchange(overLimit, true)) continue;
            Add(std::string("BM_LoadCorpus/") + (within ? "" : "over-limit/") + path.filename().string(), ReadAll(path),
                within);
        }
    }
    Inputs(const Inputs&) = delete;
    Inputs& operator=(const Inputs&) = delete;
    ~Inputs()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

private:
    void Add(const std::string& name, const std::vector<std::uint8_t>& bytes, bool mustLoad)
    {
        Input& input = inputs_.emplace_back();
        input.path = (dir_ / (std::to_string(inputs_.size()) + ".mid")).string();
        input.bytes = static_cast<std::int64_t>(bytes.size());
        input.events = CountEvents(bytes);
        input.mustLoad = mustLoad;
        WriteAll(input.path, bytes);
        benchmark::RegisterBenchmark(name.c_str(), [index = inputs_.size() - 1, this](benchmark::State& state) {
            LoadFile(state, inputs_[index]);
        })->Unit(benchmark::kMillisecond);
    }

    fs::path dir_;
    std::vector<Input> inputs_;
};

const Inputs g_inputs;

}  // namespace
}  // namespace rovanta
