#pragma once
// The skin: bitmap elements drawn into back buffers of their own whenever they
// change, and copied to their controls when presented. Three group kinds share
// the mechanism (COffScreenPicture): the background pictures, the push buttons
// and the toggle buttons. The element data lives in SkinTables, one per main
// window; a group object is only a handle on its table, created and destroyed
// by the window's logic. Destroying a group releases its back buffers but
// keeps its table: faces and captions live as long as the tables.
//
// Window thread only.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "support/Report.h"

namespace rovanta {

class RunContext;
class SkinControl;

extern const OnceTable kOffScreenPictureErrors;

namespace ospc {
inline constexpr std::uint32_t kResetLatch = 0;
inline constexpr std::uint32_t kDrawError = 1;      // once until the next reset
inline constexpr std::uint32_t kTableFull = 2;      // shown every time
}  // namespace ospc

struct SkinElement {
    QPixmap faces[2];  // picture: [0]; push: normal, pressed; toggle: off, on
    int width = 0, height = 0;
    QPixmap backBuffer;
    SkinControl* control = nullptr;
    QString caption;
    int state = 0;     // push: pressed; toggle: on
    int draws = 0;     // redraws into the back buffer, for diagnostics
};

// One group kind's elements, in the order they were added.
struct SkinTable {
    explicit SkinTable(std::size_t limit) : capacity(limit) {}
    std::size_t capacity;
    std::vector<SkinElement> elements;
    // Push: pressed, released. Toggle: toggled, released.
    std::function<void(int)> first, second;
};

struct SkinTables {
    SkinTable pictures{20}, pushes{64}, toggles{64};
    QColor textColour{0, 100, 0};
    QFont captionFont;  // a fresh drawing surface's default: the application font
};

// Bitmap resources are addressed by the low 16 bits of their id.
QPixmap LoadSkinBitmap(std::uint32_t id);

// Rectangles are (left, top, right, bottom) in the window's client pixels.
struct SkinRect {
    int left, top, right, bottom;
    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
};

class COffScreenPicture {
public:
    COffScreenPicture(RunContext& ctx, SkinTables& tables) : ctx_(&ctx), tables_(&tables) {}

    // Binds a control to the element in `slot`: size, position, top of the
    // z-order, the handlers, and a back buffer of the control's size.
    void Attach(SkinControl& control, const QRect& rect, std::function<void(int, int, int)> press,
                std::function<void(int, int, int)> release, SkinElement& slot);
    static void Present(const QPixmap& backBuffer, SkinControl& control);
    static void ReleaseSurface(SkinElement& element);
    void ReportError(std::uint32_t code);

protected:
    using ButtonHandler = void (*)(SkinTables& tables, int index);

    // Adds a push or toggle element: attach, faces, caption, index, first draw.
    void AddButton(SkinTable& table, SkinControl& control, SkinRect rect, const QString& caption,
                   std::uint32_t face0, std::uint32_t face1, int index, ButtonHandler press, ButtonHandler release);
    // A new slot at the end of the table, or null when the table is full.
    SkinElement* NewSlot(SkinTable& table);
    static void PresentAll(SkinTable& table);
    static void ReleaseAll(SkinTable& table);

    RunContext* ctx_;
    SkinTables* tables_;
};

class SkinPicture : public COffScreenPicture {
public:
    SkinPicture(RunContext& ctx, SkinTables& tables, SkinControl& control, SkinRect rect, std::uint32_t bitmapId);
    ~SkinPicture();
    SkinPicture(const SkinPicture&) = delete;
    SkinPicture& operator=(const SkinPicture&) = delete;

    void PresentAll();
};

class SkinPushButtons : public COffScreenPicture {
public:
    SkinPushButtons(RunContext& ctx, SkinTables& tables, std::function<void(int)> pressed,
                    std::function<void(int)> released, SkinControl& control, SkinRect rect,
                    const QString& caption, std::uint32_t normalId, std::uint32_t pressedId, int index);
    ~SkinPushButtons();
    SkinPushButtons(const SkinPushButtons&) = delete;
    SkinPushButtons& operator=(const SkinPushButtons&) = delete;

    void Add(SkinControl& control, SkinRect rect, const QString& caption, std::uint32_t normalId,
             std::uint32_t pressedId, int index);
    // Redraws into the back buffer only; the screen changes at the next present.
    void SetCaption(int index, const QString& text);
    void PresentAll();

private:
    // The controls keep these after the group goes: they touch only the tables.
    static void OnPress(SkinTables& tables, int index);
    static void OnRelease(SkinTables& tables, int index);
};

class SkinToggleButtons : public COffScreenPicture {
public:
    SkinToggleButtons(RunContext& ctx, SkinTables& tables, std::function<void(int)> toggled,
                      std::function<void(int)> released, SkinControl& control, SkinRect rect,
                      const QString& caption, std::uint32_t offId, std::uint32_t onId, int index);
    ~SkinToggleButtons();
    SkinToggleButtons(const SkinToggleButtons&) = delete;
    SkinToggleButtons& operator=(const SkinToggleButtons&) = delete;

    void Add(SkinControl& control, SkinRect rect, const QString& caption, std::uint32_t offId,
             std::uint32_t onId, int index);
    int IsChecked(int index) const;
    void PresentAll();

private:
    // The controls keep these after the group goes: they touch only the tables.
    static void OnPress(SkinTables& tables, int index);
    static void OnRelease(SkinTables& tables, int index);
};

}  // namespace rovanta
