#pragma once
// The piano roll window: the loaded song above, what Play and Save would make
// of it below, as the core lays the two out and places them on the window's
// size; this only paints them. While a playback runs, a line on the lower roll
// follows it. Window thread only.

#include <QWidget>

#include <functional>
#include <optional>

#include "pipelines/RollLayout.h"

class QPainter;

namespace rovanta {

// Paints placed rolls: light frames, grey bar lines and seconds ticks, each
// channel's axis dashed in the channel's colour, the notes in their channels'
// colours (drums as diamonds), and the labels.
void PaintRolls(QPainter& painter, const RollPicture& picture);

// The colour the play position is drawn in.
inline constexpr std::uint32_t kPlayLineColour = 0xD01010;

class RollWindow : public QWidget {
public:
    static constexpr const char* kHint = "Nothing is loaded yet: Load a MIDI file (or drop one on the main window) "
                                         "to see its notes here.";
    // The rolls to show, laid out by the core; nothing when no song is loaded.
    using Source = std::function<std::optional<RollPair>()>;

    // A window of its own, kept by `owner` (it closes with it).
    RollWindow(Source source, QWidget* owner);

    // Lays the rolls out again from the source: at once when shown, else
    // when next shown.
    void Refresh();
    void SetPlayPosition(std::optional<double> seconds);

    // What is painted now: the placed rolls (none while nothing is loaded)
    // and the play position's line.
    const std::optional<RollPicture>& Picture() const { return picture_; }
    std::optional<RollLine> PlayLine() const;

    QSize sizeHint() const override { return {960, 600}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Place();

    Source source_;
    std::optional<RollPair> rolls_;
    std::optional<RollPicture> picture_;
    std::optional<double> position_;
    bool stale_ = true;
};

}  // namespace rovanta
