#include "playback/LogPort.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <ostream>
#include <span>
#include <vector>

#include "playback/Ports.h"

namespace rovanta {

std::int64_t SteadyMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Shared by the system and its ports; the lock keeps the lines of ports used
// on different threads whole.
struct LogSystem::Sink {
    std::mutex mutex;
    std::ostream* out = nullptr;  // the caller's stream or `file`
    std::ofstream file;
    std::filesystem::path path;   // empty when writing to the caller's stream
    LogClock clock;

    // 0 once there is an output, else why the file cannot be created (errno).
    int Ready()
    {
        std::lock_guard lock(mutex);
        if (out) return 0;
        errno = 0;
        file.open(path, std::ios::out | std::ios::trunc);
        if (!file) return errno != 0 ? errno : EIO;
        out = &file;
        return 0;
    }

    // False once the output has failed (a full disk, say).
    bool Write(const std::string& line, bool flush)
    {
        std::lock_guard lock(mutex);
        *out << line << '\n';
        if (flush) out->flush();
        return !out->fail();
    }
};

namespace {

std::string TimeField(std::int64_t micros)
{
    char text[24];
    std::snprintf(text, sizeof text, "%09lld", static_cast<long long>(micros < 0 ? 0 : micros));
    return text;
}

void AppendHex(std::string& line, std::uint8_t byte)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    line += ' ';
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
}

class LogPort final : public MidiOutPort {
public:
    explicit LogPort(std::shared_ptr<LogSystem::Sink> sink)
        : sink_(std::move(sink)), openedAt_(sink_->clock())
    {
    }
    ~LogPort() override { Close(); }

    LogPort(const LogPort&) = delete;
    LogPort& operator=(const LogPort&) = delete;

    bool SendShort(std::uint32_t message) override
    {
        if (!open_) return false;
        const auto status = static_cast<std::uint8_t>(message);
        // A word without a valid status is still shown whole: the log is
        // there to make such mistakes visible.
        int size = ShortMessageSize(status);
        if (size == 0) size = 3;
        std::string line = Stamp();
        for (int i = 0; i < size; ++i) AppendHex(line, static_cast<std::uint8_t>(message >> (8 * i)));
        return sink_->Write(line, false);
    }

    bool SendLong(std::span<const std::uint8_t> message) override
    {
        if (!open_ || message.empty()) return false;
        std::string line = Stamp();
        line.reserve(line.size() + 3 * message.size());
        for (std::uint8_t byte : message) AppendHex(line, byte);
        return sink_->Write(line, false);
    }

    bool Reset() override
    {
        if (!open_) return false;
        return sink_->Write(Stamp() + " reset", true);
    }

    bool Close() override
    {
        if (!open_) return false;
        open_ = false;
        return sink_->Write(Stamp() + " close", true);
    }

private:
    std::string Stamp() const { return TimeField(sink_->clock() - openedAt_); }

    std::shared_ptr<LogSystem::Sink> sink_;
    std::int64_t openedAt_;
    bool open_ = true;
};

}  // namespace

LogSystem::LogSystem(std::ostream& out, LogClock clock) : sink_(std::make_shared<Sink>())
{
    sink_->out = &out;
    sink_->clock = clock ? std::move(clock) : LogClock(SteadyMicros);
}

LogSystem::LogSystem(std::filesystem::path path, LogClock clock) : sink_(std::make_shared<Sink>())
{
    sink_->path = std::move(path);
    sink_->clock = clock ? std::move(clock) : LogClock(SteadyMicros);
}

LogSystem::~LogSystem() = default;

std::unique_ptr<MidiOutPort> LogSystem::Open(int deviceId)
{
    if (deviceId != kMidiMapper && deviceId != 0) return nullptr;
    if (sink_->Ready() != 0) return nullptr;
    return std::make_unique<LogPort>(sink_);
}

int LogSystem::Prepare()
{
    return sink_->Ready();
}

std::string LogSystem::Name() const
{
    return sink_->path.empty() ? "Message log" : "Message log: " + sink_->path.string();
}

}  // namespace rovanta
