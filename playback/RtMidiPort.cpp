#include "playback/RtMidiPort.h"

#include <RtMidi.h>

#include <charconv>

#include "playback/Ports.h"

namespace rovanta {

namespace {

constexpr const char* kClientName = "Rovanta";

// With a callback installed the library reports instead of throwing; the
// callback also keeps its warnings off the terminal.
void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

// A client on the first interface that offers output ports, else on the
// first one that starts at all. Choosing by hand because the library's own
// choice gives up when its first interface cannot start.
std::unique_ptr<RtMidiOut> Connect()
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::unique_ptr<RtMidiOut> fallback;
    for (RtMidi::Api api : apis) {
        try {
            auto out = std::make_unique<RtMidiOut>(api, kClientName);
            out->setErrorCallback(IgnoreError, nullptr);
            if (out->getPortCount() > 0) return out;
            if (!fallback) fallback = std::move(out);
        } catch (...) {
            // This interface is unavailable; try the next one.
        }
    }
    return fallback;
}

std::vector<std::string> PortNames(RtMidiOut& out)
{
    std::vector<std::string> names;
    try {
        const unsigned count = out.getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(out.getPortName(i));
    } catch (...) {
        names.clear();
    }
    return names;
}

class RtMidiPort final : public MidiOutPort {
public:
    explicit RtMidiPort(std::unique_ptr<RtMidiOut> out) : out_(std::move(out))
    {
        out_->setErrorCallback(OnError, this);
    }
    ~RtMidiPort() override { Close(); }

    RtMidiPort(const RtMidiPort&) = delete;
    RtMidiPort& operator=(const RtMidiPort&) = delete;

    bool SendShort(std::uint32_t message) override
    {
        const unsigned char bytes[3] = {static_cast<unsigned char>(message),
                                        static_cast<unsigned char>(message >> 8),
                                        static_cast<unsigned char>(message >> 16)};
        const int size = ShortMessageSize(bytes[0]);
        return size > 0 && Send(bytes, static_cast<std::size_t>(size));
    }

    bool SendLong(std::span<const std::uint8_t> message) override
    {
        return !message.empty() && Send(message.data(), message.size());
    }

    // What a port reset does on a sequencer: release the sustain pedal, then
    // silence and release every note on every channel.
    bool Reset() override
    {
        bool ok = true;
        for (unsigned char channel = 0; channel < 16; ++channel) {
            for (unsigned char controller : {64, 120, 123}) {
                const unsigned char bytes[3] = {static_cast<unsigned char>(0xB0 + channel), controller, 0};
                ok = Send(bytes, 3) && ok;
            }
        }
        return ok;
    }

    bool Close() override
    {
        if (!out_) return false;
        try {
            out_->closePort();
        } catch (...) {
            // The client goes away below whatever the port said.
        }
        out_.reset();
        return true;
    }

private:
    static void OnError(RtMidiError::Type type, const std::string&, void* self)
    {
        if (type != RtMidiError::DEBUG_WARNING) static_cast<RtMidiPort*>(self)->failed_ = true;
    }

    bool Send(const unsigned char* bytes, std::size_t size)
    {
        if (!out_) return false;
        failed_ = false;
        try {
            out_->sendMessage(bytes, size);
        } catch (...) {
            return false;
        }
        return !failed_;
    }

    std::unique_ptr<RtMidiOut> out_;  // null once closed
    bool failed_ = false;
};

}  // namespace

std::vector<std::string> ListRtMidiPorts()
{
    const auto out = Connect();
    return out ? PortNames(*out) : std::vector<std::string>{};
}

int RtMidiSystem::DeviceCount()
{
    return static_cast<int>(ListRtMidiPorts().size());
}

std::unique_ptr<MidiOutPort> RtMidiSystem::Open(int deviceId)
{
    // Declared before the client: the client may still report while it is
    // destroyed on a failure path.
    bool failed = false;
    auto out = Connect();
    if (!out) return nullptr;
    const auto names = PortNames(*out);

    std::size_t index = names.size();
    if (deviceId >= 0) {
        index = static_cast<std::size_t>(deviceId);
    } else if (deviceId == kMidiMapper) {
        for (std::size_t i = 0; i < names.size() && index == names.size(); ++i) {
            if (names[i] == port_) index = i;
        }
        unsigned number = 0;
        const char* end = port_.data() + port_.size();
        if (index == names.size() && !port_.empty()) {
            const auto [ptr, ec] = std::from_chars(port_.data(), end, number);
            if (ec == std::errc() && ptr == end) index = number;
        }
    }
    if (index >= names.size()) return nullptr;

    out->setErrorCallback([](RtMidiError::Type type, const std::string&, void* flag) {
        if (type != RtMidiError::DEBUG_WARNING) *static_cast<bool*>(flag) = true;
    }, &failed);
    try {
        out->openPort(static_cast<unsigned>(index), kClientName);
    } catch (...) {
        return nullptr;
    }
    if (failed || !out->isPortOpen()) return nullptr;
    return std::make_unique<RtMidiPort>(std::move(out));
}

}  // namespace rovanta
