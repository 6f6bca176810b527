// The dialog font must draw every text the window can show, Japanese included.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QString>

#include <string>
#include <vector>

#include "pipelines/Controller.h"
#include "app/Dialogs.h"
#include "app/ExportDialog.h"
#include "app/OffScreenPicture.h"
#include "playback/MidiControler.h"
#include "playback/MidiPlayer.h"
#include "playback/MusicPlayer.h"
#include "smf/MidiF1Data.h"
#include "smf/MidiFileLoader.h"
#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"

namespace rovanta {
namespace {

void Collect(std::vector<std::string>& texts, const ErrorTable& table)
{
    for (const ErrorText& row : table.rows) texts.emplace_back(row.text);
    texts.emplace_back(table.fallback);
}

void Collect(std::vector<std::string>& texts, const OnceTable& table)
{
    for (const OnceText& row : table.rows) texts.emplace_back(row.text);
    texts.emplace_back(table.fallback);
}

TEST(DialogFontTest, EveryTextTheWindowShowsHasItsGlyphs)
{
    std::vector<std::string> texts = {ctl::kAboutEntry, "Rovantaのﾊﾞｰｼﾞｮﾝ情報", "設定", "垂直反転で１オクターブ上げる",
                                      ctl::kQuitRefused, SettingsDialog::kCheckBoxText, ctl::kNothingLoaded,
                                      ctl::kTitleSeparator, ctl::kSavedTo, ctl::kExportedTo, ctl::kNoSynthesizer,
                                      ctl::kExportFailed, ExportProgress::kCancelling, "Export audio…"};
    for (const ErrorTable* table : {&kTrackErrors, &kSongErrors, &kMusicEventErrors, &kPlayerErrors,
                                    &kControlerErrors, &kMusicPlayerErrors, &kLoaderErrors, &kFormatOneErrors,
                                    &kGeneralErrors})
        Collect(texts, *table);
    for (const OnceTable* table : {&kOffScreenPictureErrors, &kTrackWarnings, &kFormatOneTrackWarnings})
        Collect(texts, *table);

    const QFont font = DialogFont();
    EXPECT_EQ(QFontInfo(font).family(), "IPAPGothic") << "fonts-ipafont-gothic is not installed";
    const QFontMetrics metrics(font);
    int japanese = 0;
    for (const std::string& text : texts) {
        const QString s = QString::fromUtf8(text.c_str());
        for (char32_t c : s.toUcs4()) {
            if (c >= 0x3000) ++japanese;
            EXPECT_TRUE(metrics.inFontUcs4(c)) << text << " U+" << std::hex << static_cast<unsigned>(c);
        }
    }
    EXPECT_GT(japanese, 50) << "the tables hold Japanese messages";
}

}  // namespace
}  // namespace rovanta
