#pragma once
// Uniform failure reporting: every class formats "TAG%08X message" from its own
// table and hands the text to the report sink that the application installed.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace rovanta {

// The file behind a file report and why it could not be used.
struct FileFailure {
    std::string path;
    int error = 0;       // the system's errno; 0 when the file was read but its content refused
    std::string reason;  // the system's text for `error`, or what is wrong with the content
};

// Where reports go: a message box in the GUI, one line on standard error in the
// command-line tool, a recorder in tests. Show() returns once the user has seen
// the text; it may be called from any thread, so implementations synchronise.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void Show(std::string_view text) = 0;
    // Comes right after the file report it explains. A message box has no room
    // for it, so by default it is dropped; the command line prints it.
    virtual void ShowFileFailure(const FileFailure& /*failure*/) {}
};

struct ErrorText {
    std::uint32_t code;
    const char* text;
};

// One class's table: its tag, its rows, and the text for codes it does not list.
struct ErrorTable {
    const char* tag;
    std::span<const ErrorText> rows;
    const char* fallback;

    const char* Lookup(std::uint32_t code) const;
};

// "TAG" + eight upper-case hex digits + blank + message.
std::string FormatReport(const char* tag, std::uint32_t code, std::string_view message);
std::string FormatReport(const ErrorTable& table, std::uint32_t code);

// A set of once-only flags: a warning is shown while its flag is clear, then the
// flag is set until the owner re-arms the set.
class OnceFlags {
public:
    bool TryTake(int flag)
    {
        const std::uint32_t bit = std::uint32_t{1} << flag;
        if (bits_ & bit) return false;
        bits_ |= bit;
        return true;
    }
    void Clear(int flag) { bits_ &= ~(std::uint32_t{1} << flag); }
    void ClearAll() { bits_ = 0; }
    bool IsSet(int flag) const { return (bits_ >> flag) & 1u; }

private:
    std::uint32_t bits_ = 0;
};

// A once-only table maps codes to flags; codes without a row (flag < 0) are
// shown with the fallback every time.
struct OnceText {
    std::uint32_t code;
    const char* text;
    int flag;
};

struct OnceTable {
    const char* tag;
    std::span<const OnceText> rows;
    const char* fallback;
};

class RunContext;

void Report(RunContext& ctx, const ErrorTable& table, std::uint32_t code);
// Code 0 clears every flag of the set; other codes show at most once until then.
void ReportOnce(RunContext& ctx, OnceFlags& flags, const OnceTable& table, std::uint32_t code);

// General services (files, memory, player thread): tag GENE.
namespace gene {
inline constexpr std::uint32_t kNeedsMoreMemory = 0x01000002;
inline constexpr std::uint32_t kQuitAndRestart = 0x01000004;
inline constexpr std::uint32_t kCantOpenFile = 0x01000007;
inline constexpr std::uint32_t kDataSizeTooLarge = 0x0100000A;
inline constexpr std::uint32_t kFileSizeError = 0x0100000D;
inline constexpr std::uint32_t kCantReadFile = 0x0100000F;
inline constexpr std::uint32_t kCantWriteFile = 0x01000010;
}  // namespace gene

extern const ErrorTable kGeneralErrors;
void ReportGeneralError(RunContext& ctx, std::uint32_t code);

}  // namespace rovanta
