#pragma once
// Report sinks and helpers shared by the tests.

#include <mutex>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "support/Report.h"
#include "support/RunContext.h"

namespace rovanta::test {

// Records every report in order.
class RecordingSink : public ReportSink {
public:
    void Show(std::string_view text) override
    {
        std::lock_guard lock(mutex_);
        reports_.emplace_back(text);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(reports_, {});
    }
    std::vector<std::string> Reports() const
    {
        std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> reports_;
};

// A run context with its own recorder, for tests.
struct Recorded {
    RecordingSink sink;
    RunContext ctx{sink};
    std::vector<std::string> Take() { return sink.Take(); }
};

}  // namespace rovanta::test
