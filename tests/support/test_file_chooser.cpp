#include <gtest/gtest.h>

#include "common/Files.h"
#include "common/ScriptedChooser.h"
#include "support/FileChooser.h"

namespace rovanta {
namespace {

using test::ScriptedChooser;

TEST(FileChooser, AChosenPathAndFilterIndexAreCopiedACancelLeavesThemAlone)
{
    ScriptedChooser chooser;
    chooser.answers = {std::nullopt, std::nullopt, "/music/song.mid", "/music/song.mid", "/music/other.mid"};
    std::string path = "previous-and-longer-name.mid";
    int index = 7;
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, &index), 0);
    EXPECT_EQ(AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, &index, nullptr), 0);
    EXPECT_EQ(path, "previous-and-longer-name.mid");
    EXPECT_EQ(index, 7);

    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, &index), 1);
    EXPECT_EQ(path, "/music/song.mid");
    EXPECT_EQ(index, 1);
    path.clear();
    index = 0;
    EXPECT_EQ(AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, &index, nullptr), 1);
    EXPECT_EQ(path, "/music/song.mid");
    EXPECT_EQ(index, 1);
    // Without a place for the index only the path is returned.
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, nullptr), 1);
    EXPECT_EQ(path, "/music/other.mid");
}

// An open request offers only an initial name that can be opened; a save
// request passes its name on unchecked.
TEST(FileChooser, RequestsCarryTheirExtensionFilterAndInitialName)
{
    const test::TempDir dir;
    const std::string readable = dir.Write("song.mid", "MThd");
    const std::string missing = dir / "missing.mid";
    const std::string empty;
    ScriptedChooser chooser;
    std::string path;
    for (const std::string* initial : {&missing, &readable, &empty, static_cast<const std::string*>(nullptr)})
        AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, initial, nullptr);
    AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, nullptr, &missing);

    ASSERT_EQ(chooser.requests.size(), 5u);
    const std::string names[] = {"", readable, "", "", missing};
    for (std::size_t i = 0; i < 5; ++i) {
        const FileDialogRequest& request = chooser.requests[i];
        EXPECT_EQ(request.save, i == 4) << i;
        EXPECT_EQ(request.defaultExtension, i == 4 ? "*.mid" : "mid") << i;
        EXPECT_EQ(request.filter, "SMF files|*.mid|") << i;
        EXPECT_EQ(request.initialName, names[i]) << i;
    }
}

}  // namespace
}  // namespace rovanta
