#pragma once
// Report sinks and helpers shared by the tests.

#include <string>
#include <vector>

#include "support/CollectingSink.h"
#include "support/RunContext.h"

namespace rovanta::test {

using RecordingSink = CollectingSink;

// A run context with its own recorder, for tests.
struct Recorded {
    RecordingSink sink;
    RunContext ctx{sink};
    std::vector<std::string> Take() { return sink.Take(); }
};

}  // namespace rovanta::test
