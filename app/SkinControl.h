#pragma once
// One skinned element on screen: a label that shows the frame last presented
// to it and reports left-button presses and releases to its group. The frame
// stands for the control's screen surface: a redraw of the element's back
// buffer does not reach the screen until the group presents it.

#include <QLabel>
#include <QPixmap>

#include <functional>

namespace rovanta {

class SkinControl : public QLabel {
public:
    // x and y in the control's own coordinates; index as the group gave it.
    using Handler = std::function<void(int x, int y, int index)>;

    explicit SkinControl(QWidget* parent = nullptr);

    int Index() const { return index_; }
    void SetIndex(int index) { index_ = index; }
    bool Pressed() const { return pressed_; }
    void SetHandlers(Handler press, Handler release);

    // Shows a frame; repaints only when it differs from the one on screen.
    void ShowFrame(const QPixmap& frame);
    const QPixmap& Frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The mouse left while the button was down: a release at (-1, -1).
    void LeaveWhilePressed();

    int index_ = -1;
    bool pressed_ = false;
    Handler press_, release_;
    QPixmap frame_;
};

}  // namespace rovanta
