#pragma once
// Whole-file transfers between disk and caller-owned buffers, with the general
// reports (GENE). Stateless free functions; after each report of a failed
// open, read or write the run context is told the path and the system's reason.

#include <cstdint>
#include <string>

namespace rovanta {

class RunContext;

// The read buffer size at which a completely filled buffer is reported as
// "data size is too large!" although nothing was cut off.
inline constexpr std::uint32_t kLargeReadCapacity = 0xF0000;  // 983,040

// Reads at most `capacity` bytes. 1 when read; 0 when the file could not be
// opened (the path is shown, then GENE01000007) or could not be read (GENE0100000F);
// `count` is set to the bytes read (0 on failure).
int ReadWholeFile(RunContext& ctx, const std::string& path, std::uint8_t* buffer,
                  std::uint32_t* count, std::uint32_t capacity);

// Reads exactly n bytes: 1 when opened and read; a short read reports
// GENE0100000A and still counts as read; 0 when opening (GENE01000007) or
// reading (GENE0100000F) failed.
int ReadFileExact(RunContext& ctx, const std::string& path, std::uint8_t* buffer,
                  std::uint32_t n);

// Writes the n bytes as the whole file. The bytes go to a temporary file beside
// the target that is renamed over it only when complete, so a failure never
// destroys an existing file. 1 when written; 0 with GENE01000007 when the file
// cannot be created, GENE01000010 when writing fails.
int WriteWholeFile(RunContext& ctx, const std::string& path, const std::uint8_t* buffer,
                   std::uint32_t n);

// 1 when the file can be opened for reading; reports nothing. Otherwise
// `error`, when given, receives the system's reason (an errno value).
int FileCanOpen(const std::string& path, int* error = nullptr);

// The file's size (low 32 bits; GENE0100000D when it does not fit); 0 for a
// directory or a name that matches no file.
std::uint32_t FileSizeOf(RunContext& ctx, const std::string& path);

}  // namespace rovanta
