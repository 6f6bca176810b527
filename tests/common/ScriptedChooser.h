#pragma once
// A file chooser that answers from a script: each answer is a path, or
// nullopt for a cancelled dialog; no answers left means cancelled.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/FileChooser.h"

namespace rovanta::test {

class ScriptedChooser : public FileChooser {
public:
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest& request) override
    {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        if (!answer) return std::nullopt;
        return FileDialogAnswer{*answer, 1};
    }
    std::deque<std::optional<std::string>> answers;
    std::vector<FileDialogRequest> requests;
};

}  // namespace rovanta::test
