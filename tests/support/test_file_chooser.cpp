#include <gtest/gtest.h>

#include "common/ScriptedChooser.h"
#include "support/FileChooser.h"

namespace rovanta {
namespace {

// Load and Save ask with their own extension and the one filter; a chosen
// path is handed back, a cancel leaves the caller's path alone.
TEST(FileChooser, OpenAndSaveRequestsAndTheirAnswers)
{
    test::ScriptedChooser chooser;
    chooser.answers = {std::nullopt, std::nullopt, "/music/song.mid", "/music/other.mid"};
    std::string path = "previous-and-longer-name.mid";
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, nullptr), 0);
    EXPECT_EQ(AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, nullptr, nullptr), 0);
    EXPECT_EQ(path, "previous-and-longer-name.mid");
    EXPECT_EQ(AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, path, nullptr, nullptr), 1);
    EXPECT_EQ(path, "/music/song.mid");
    EXPECT_EQ(AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, nullptr, nullptr), 1);
    EXPECT_EQ(path, "/music/other.mid");

    ASSERT_EQ(chooser.requests.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const FileDialogRequest& request = chooser.requests[i];
        EXPECT_EQ(request.save, i % 2 == 1) << i;
        EXPECT_EQ(request.defaultExtension, i % 2 == 1 ? "*.mid" : "mid") << i;
        EXPECT_EQ(request.filter, "SMF files|*.mid|") << i;
        EXPECT_EQ(request.initialName, "") << i;
    }
}

}  // namespace
}  // namespace rovanta
