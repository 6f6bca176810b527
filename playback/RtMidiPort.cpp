#include "playback/RtMidiPort.h"

#include <RtMidi.h>
#include <rtmidi_c.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <string_view>

#include "playback/Ports.h"
#include "playback/SharedLibrary.h"

// The library name in RtMidiPort.h is the one these headers belong to.
static_assert(std::string_view(RTMIDI_VERSION).starts_with("5."), "librtmidi.so.6 is the library of version 5");

namespace rovanta {

namespace {

constexpr const char* kClientName = "Rovanta";

// The library's C functions, found by their plain names.
#define ROVANTA_RTMIDI_FUNCTIONS(X)                                                                           \
    X(rtmidi_get_compiled_api) X(rtmidi_out_create) X(rtmidi_out_free) X(rtmidi_get_port_count)               \
    X(rtmidi_get_port_name) X(rtmidi_open_port) X(rtmidi_close_port) X(rtmidi_out_send_message)

struct RtMidiLib {
#define ROVANTA_DECLARE(name) decltype(&::name) name = nullptr;
    ROVANTA_RTMIDI_FUNCTIONS(ROVANTA_DECLARE)
#undef ROVANTA_DECLARE
    // RtMidiOut::setErrorCallback, which the C functions lack, found by its
    // mangled name and called with the RtMidiOut as first argument, as member
    // functions are. Without a callback the library prints every complaint and
    // a refused send counts as sent; with one it reports instead of throwing.
    void (*setErrorCallback)(void* out, RtMidiErrorCallback callback, void* userData) = nullptr;
};

void BindRtMidi(SymbolBinder& binder, RtMidiLib& lib)
{
#define ROVANTA_BIND(name) binder.Require(lib.name, #name);
    ROVANTA_RTMIDI_FUNCTIONS(ROVANTA_BIND)
#undef ROVANTA_BIND
    binder.Bind(lib.setErrorCallback, "_ZN9RtMidiOut16setErrorCallbackEPFvN11RtMidiError4TypeERKNSt7__cxx1112basic_"
                                      "stringIcSt11char_traitsIcESaIcEEEPvESA_");
}

using Client = std::unique_ptr<RtMidiWrapper, void (*)(RtMidiOutPtr)>;

void OnErrors(const RtMidiLib& lib, const Client& out, RtMidiErrorCallback callback, void* userData)
{
    if (lib.setErrorCallback) lib.setErrorCallback(out->ptr, callback, userData);
}

// The callback also keeps the library's warnings off the terminal.
void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

// Only errors: warnings also say that something did not happen.
void FlagError(RtMidiError::Type type, const std::string&, void* flag)
{
    if (type != RtMidiError::DEBUG_WARNING) *static_cast<bool*>(flag) = true;
}

// The port count, 0 when the client cannot tell.
unsigned PortCount(const RtMidiLib& lib, const Client& out)
{
    out->ok = true;
    const unsigned count = lib.rtmidi_get_port_count(out.get());
    return out->ok ? count : 0;
}

// A client on the first interface that offers output ports, else on the
// first one that starts at all; null without any. Choosing by hand because
// the library's own choice gives up when its first interface cannot start.
Client Connect(const RtMidiLib& lib)
{
    std::vector<RtMidiApi> apis(RTMIDI_API_NUM);
    apis.resize(static_cast<std::size_t>(std::max(0, lib.rtmidi_get_compiled_api(apis.data(), RTMIDI_API_NUM))));
    Client fallback(nullptr, lib.rtmidi_out_free);
    for (RtMidiApi api : apis) {
        Client out(lib.rtmidi_out_create(api, kClientName), lib.rtmidi_out_free);
        // A client that failed to start is still allocated.
        if (!out || !out->ok || out->ptr == nullptr) continue;
        OnErrors(lib, out, IgnoreError, nullptr);
        if (PortCount(lib, out) > 0) return out;
        if (!fallback) fallback = std::move(out);
    }
    return fallback;
}

std::vector<std::string> PortNames(const RtMidiLib& lib, const Client& out)
{
    std::vector<std::string> names;
    const unsigned count = PortCount(lib, out);
    for (unsigned i = 0; i < count; ++i) {
        int size = 0;
        out->ok = true;
        if (lib.rtmidi_get_port_name(out.get(), i, nullptr, &size) != 0 || !out->ok || size <= 0) return {};
        std::string name(static_cast<std::size_t>(size), '\0');
        if (lib.rtmidi_get_port_name(out.get(), i, name.data(), &size) < 0 || !out->ok) return {};
        name.resize(name.find('\0'));
        names.push_back(std::move(name));
    }
    return names;
}

class RtMidiPort final : public MidiOutPort {
public:
    RtMidiPort(const RtMidiLib& lib, Client out) : lib_(lib), out_(std::move(out))
    {
        OnErrors(lib_, out_, FlagError, &failed_);
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

    // The client goes away whatever the port said.
    bool Close() override
    {
        if (!out_) return false;
        lib_.rtmidi_close_port(out_.get());
        out_.reset();
        return true;
    }

private:
    bool Send(const unsigned char* bytes, std::size_t size)
    {
        if (!out_ || size > INT_MAX) return false;
        failed_ = false;
        out_->ok = true;
        const int result = lib_.rtmidi_out_send_message(out_.get(), bytes, static_cast<int>(size));
        return result == 0 && out_->ok && !failed_;
    }

    const RtMidiLib& lib_;
    Client out_;  // null once closed
    bool failed_ = false;
};

const RtMidiLib* LoadRtMidi(const std::string& library)
{
    return LoadFunctionTable<RtMidiLib>(library, BindRtMidi);
}

}  // namespace

std::vector<std::string> ListRtMidiPorts(const std::string& library)
{
    const RtMidiLib* lib = LoadRtMidi(library);
    if (lib == nullptr) return {};
    const Client out = Connect(*lib);
    return out ? PortNames(*lib, out) : std::vector<std::string>{};
}

int RtMidiSystem::DeviceCount()
{
    return static_cast<int>(ListRtMidiPorts(library_).size());
}

std::unique_ptr<MidiOutPort> RtMidiSystem::Open(int deviceId)
{
    const RtMidiLib* lib = LoadRtMidi(library_);
    if (lib == nullptr) return nullptr;
    // Declared before the client: the client may still report while it is
    // destroyed on a failure path.
    bool failed = false;
    Client out = Connect(*lib);
    if (!out) return nullptr;
    const auto names = PortNames(*lib, out);

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

    OnErrors(*lib, out, FlagError, &failed);
    out->ok = true;
    lib->rtmidi_open_port(out.get(), static_cast<unsigned>(index), kClientName);
    if (failed || !out->ok) return nullptr;
    return std::make_unique<RtMidiPort>(*lib, std::move(out));
}

}  // namespace rovanta
