// libFuzzer target: load, mirror, save to memory, load the saved image and
// save it again (RoundTripPath.h describes the input and what must hold).
//
//   fuzz_roundtrip CORPUS_DIR fuzz/corpus/fuzz_roundtrip    (flags: fuzz_roundtrip.options)

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTarget.h"
#include "fuzz/RoundTripPath.h"

namespace {
volatile std::uint64_t g_digest = 0;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    g_digest = rovanta::fuzz::RunRoundTripPath({data, size}, [](std::string_view step, std::string_view rule) {
                   rovanta::fuzz::Trap("fuzz_roundtrip", step, rule);
               }).digest;
    return 0;
}
