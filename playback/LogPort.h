#pragma once
// An output that sounds nothing and writes every message as one text line:
// the time since the port was opened in microseconds (at least nine digits,
// zero-padded) and the bytes in upper-case hex, e.g. "000123456 90 3C 64".
// Reset and Close are logged as "000200000 reset" and "000250000 close".
// Tests, the timing benchmark and curious users read it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "playback/MidiPort.h"

namespace rovanta {

// Microseconds on any monotonic scale; only differences are logged. Called on
// whichever thread uses the port.
using LogClock = std::function<std::int64_t()>;

// The steady clock in microseconds, used when no clock is given.
std::int64_t SteadyMicros();

// One device (id 0, also opened as the mapper). Lines of all ports opened from
// one system go to the same output, each port timed from its own opening.
class LogSystem : public MidiOutSystem {
public:
    // Writes to a stream the caller keeps alive while ports are open.
    explicit LogSystem(std::ostream& out, LogClock clock = {});
    // Writes to a file, created (emptied) when the first port is opened and
    // kept open, so that several playbacks of one run land in one log.
    explicit LogSystem(std::filesystem::path path, LogClock clock = {});
    ~LogSystem() override;

    LogSystem(const LogSystem&) = delete;
    LogSystem& operator=(const LogSystem&) = delete;

    int DeviceCount() override { return 1; }
    // Null for other device ids, or when the file cannot be created.
    std::unique_ptr<MidiOutPort> Open(int deviceId) override;
    // Creates the file now instead of at the first Open, so that the caller
    // can tell the user why it cannot be: 0, or the system's errno.
    int Prepare();
    std::string Name() const override;

    struct Sink;  // the shared output, outliving the system if a port does

private:
    std::shared_ptr<Sink> sink_;
};

}  // namespace rovanta
