#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/FileChooser.h"

namespace rovanta {
namespace {

// Answers with a scripted result and records what it was asked.
class ScriptedChooser : public FileChooser {
public:
    explicit ScriptedChooser(std::optional<FileDialogAnswer> answer) : answer_(std::move(answer)) {}
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest& request) override
    {
        requests.push_back(request);
        return answer_;
    }
    std::vector<FileDialogRequest> requests;

private:
    std::optional<FileDialogAnswer> answer_;
};

TEST(FileChooser, CancelLeavesPathAndIndexUnchanged)
{
    ScriptedChooser chooser(std::nullopt);
    std::string path = "previous.mid";
    int index = 7;
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, &index), 0);
    EXPECT_EQ(AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, &index, nullptr), 0);
    EXPECT_EQ(path, "previous.mid");
    EXPECT_EQ(index, 7);
    EXPECT_EQ(chooser.requests.size(), 2u);
}

TEST(FileChooser, ChosenPathAndFilterIndexAreCopied)
{
    ScriptedChooser chooser(FileDialogAnswer{"/music/song.mid", 2});
    std::string path = "previous-and-longer-name.mid";
    int index = 0;
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, &index), 1);
    EXPECT_EQ(path, "/music/song.mid");
    EXPECT_EQ(index, 2);

    path.clear();
    index = 0;
    EXPECT_EQ(AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, &index, nullptr), 1);
    EXPECT_EQ(path, "/music/song.mid");
    EXPECT_EQ(index, 2);

    // Without a place for the index only the path is returned.
    path.clear();
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, nullptr), 1);
    EXPECT_EQ(path, "/music/song.mid");
}

TEST(FileChooser, OpenRequestDropsAnInitialNameThatCannotBeOpened)
{
    const std::filesystem::path existing = std::filesystem::temp_directory_path() /
        ("rovanta-chooser-" + std::to_string(std::random_device{}()) + ".mid");
    std::ofstream(existing) << "MThd";
    const std::string readable = existing.string();
    const std::string missing = readable + ".missing";
    const std::string empty;

    ScriptedChooser chooser(std::nullopt);
    std::string path;
    AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, &missing, nullptr);
    AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, &readable, nullptr);
    AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, &empty, nullptr);
    AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, nullptr);
    std::filesystem::remove(existing);

    ASSERT_EQ(chooser.requests.size(), 4u);
    const FileDialogRequest& first = chooser.requests[0];
    EXPECT_FALSE(first.save);
    EXPECT_EQ(first.defaultExtension, "mid");
    EXPECT_EQ(first.filter, "SMF files|*.mid|");
    EXPECT_EQ(first.initialName, "");
    EXPECT_EQ(chooser.requests[1].initialName, readable);
    EXPECT_EQ(chooser.requests[2].initialName, "");
    EXPECT_EQ(chooser.requests[3].initialName, "");
}

TEST(FileChooser, SaveRequestPassesInitialNameUnchecked)
{
    ScriptedChooser chooser(std::nullopt);
    std::string path;
    const std::string notYetThere = "/nonexistent-dir/new song.mid";
    AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, nullptr, &notYetThere);
    ASSERT_EQ(chooser.requests.size(), 1u);
    const FileDialogRequest& request = chooser.requests[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.defaultExtension, "*.mid");
    EXPECT_EQ(request.filter, "SMF files|*.mid|");
    EXPECT_EQ(request.initialName, notYetThere);
}

}  // namespace
}  // namespace rovanta
