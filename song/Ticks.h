#pragma once
// Delta-time arithmetic. Delta times are never negative in a well-formed track;
// sums of them saturate instead of wrapping, so a hostile file can stretch time
// but never make it run backwards or overflow.

#include <cstdint>
#include <limits>

namespace rovanta {

inline constexpr std::int32_t kMaxTicks = std::numeric_limits<std::int32_t>::max();

inline std::int32_t ClampTicks(std::int64_t value)
{
    if (value > kMaxTicks) return kMaxTicks;
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

inline std::int32_t AddTicks(std::int32_t a, std::int32_t b)
{
    return ClampTicks(std::int64_t{a} + b);
}

}  // namespace rovanta
