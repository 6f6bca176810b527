#pragma once
// Keeps reports in the order raised instead of showing them, for whoever shows
// them later: a batch prints each file's reports as one block, the player hands
// its thread's reports on, tests compare them.

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/Report.h"

namespace rovanta {

class CollectingSink : public ReportSink {
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

}  // namespace rovanta
