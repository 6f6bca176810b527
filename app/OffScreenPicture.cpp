#include "app/OffScreenPicture.h"

#include <QPainter>

#include <utility>

#include "app/SkinControl.h"
#include "support/RunContext.h"

namespace rovanta {

namespace {

constexpr OnceText kOspcRows[] = {
    {ospc::kDrawError, "描画エラー。", 0},
};

// Where a caption is laid out: one line, left-aligned and vertically centred,
// in a box wider than any button, so only the back buffer's edge cuts it off.
const QRect kCaptionBox(2, 2, 210 - 2, 28 - 2);

void DrawPicture(SkinElement& e)
{
    QPainter painter(&e.backBuffer);
    if (!e.faces[0].isNull()) painter.drawPixmap(0, 0, e.faces[0], 0, 0, e.width, e.height);
    ++e.draws;
}

void DrawButton(SkinElement& e, const SkinTables& tables)
{
    if (e.backBuffer.isNull()) return;  // released with its group
    QPainter painter(&e.backBuffer);
    painter.fillRect(0, 0, e.width, e.height, Qt::white);
    const QPixmap& face = e.faces[e.state != 0 ? 1 : 0];
    if (!face.isNull()) painter.drawPixmap(0, 0, face, 0, 0, e.width, e.height);
    painter.setPen(tables.textColour);
    painter.setFont(tables.captionFont);
    painter.drawText(kCaptionBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, e.caption);
    ++e.draws;
}

SkinElement* At(SkinTable& table, int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= table.elements.size()) return nullptr;
    return &table.elements[static_cast<std::size_t>(index)];
}

}  // namespace

const OnceTable kOffScreenPictureErrors{"OSPC", kOspcRows, "COffScreenPictureでエラーが発生しました。"};

QPixmap LoadSkinBitmap(std::uint32_t id)
{
    // A missing bitmap leaves its face blank.
    return QPixmap(QStringLiteral(":/bitmaps/%1").arg(id & 0xFFFFu));
}

void COffScreenPicture::ReportError(std::uint32_t code)
{
    ReportOnce(*ctx_, ctx_->pictureWarnings, kOffScreenPictureErrors, code);
}

void COffScreenPicture::Attach(SkinControl& control, const QRect& rect, std::function<void(int, int, int)> press,
                               std::function<void(int, int, int)> release, SkinElement& slot)
{
    ReportError(ospc::kResetLatch);
    slot.width = rect.width();
    slot.height = rect.height();
    control.setGeometry(rect);
    control.raise();
    control.SetHandlers(std::move(press), std::move(release));
    slot.backBuffer = QPixmap(slot.width, slot.height);
}

void COffScreenPicture::Present(const QPixmap& backBuffer, SkinControl& control)
{
    if (backBuffer.isNull()) return;
    control.ShowFrame(backBuffer);
}

void COffScreenPicture::ReleaseSurface(SkinElement& element)
{
    element.backBuffer = QPixmap();
}

SkinElement* COffScreenPicture::NewSlot(SkinTable& table)
{
    // The tables have fixed capacities; going past one is refused rather than
    // written beyond the table.
    if (table.elements.size() >= table.capacity) {
        ReportError(ospc::kTableFull);
        return nullptr;
    }
    table.elements.emplace_back();
    return &table.elements.back();
}

void COffScreenPicture::PresentAll(SkinTable& table)
{
    for (SkinElement& e : table.elements)
        if (e.control) Present(e.backBuffer, *e.control);
}

void COffScreenPicture::ReleaseAll(SkinTable& table)
{
    for (SkinElement& e : table.elements) ReleaseSurface(e);
}

void COffScreenPicture::AddButton(SkinTable& table, SkinControl& control, SkinRect rect, const QString& caption,
                                  std::uint32_t face0, std::uint32_t face1, int index, ButtonHandler press,
                                  ButtonHandler release)
{
    SkinElement* slot = NewSlot(table);
    if (!slot) return;
    // The handlers reach the tables only, which outlive the group.
    Attach(
        control, rect.ToQRect(), [tables = tables_, press](int, int, int i) { press(*tables, i); },
        [tables = tables_, release](int, int, int i) { release(*tables, i); }, *slot);
    slot->faces[0] = LoadSkinBitmap(face0);
    slot->faces[1] = LoadSkinBitmap(face1);
    slot->caption = caption;
    slot->control = &control;
    control.SetIndex(index);
    slot->state = 0;
    DrawButton(*slot, *tables_);
}

// ---- Pictures ----

SkinPicture::SkinPicture(RunContext& ctx, SkinTables& tables, SkinControl& control, SkinRect rect,
                         std::uint32_t bitmapId)
    : COffScreenPicture(ctx, tables)
{
    SkinElement* slot = NewSlot(tables.pictures);
    if (!slot) return;
    // The background reports no clicks.
    Attach(control, rect.ToQRect(), {}, {}, *slot);
    slot->faces[0] = LoadSkinBitmap(bitmapId);
    slot->control = &control;
    control.SetIndex(static_cast<int>(tables.pictures.elements.size()) - 1);
    DrawPicture(*slot);
    slot->state = 0;
}

SkinPicture::~SkinPicture() { ReleaseAll(tables_->pictures); }

void SkinPicture::PresentAll() { COffScreenPicture::PresentAll(tables_->pictures); }

// ---- Push buttons ----

SkinPushButtons::SkinPushButtons(RunContext& ctx, SkinTables& tables, std::function<void(int)> pressed,
                                 std::function<void(int)> released, SkinControl& control, SkinRect rect,
                                 const QString& caption, std::uint32_t normalId, std::uint32_t pressedId,
                                 int index)
    : COffScreenPicture(ctx, tables)
{
    tables.pushes.first = std::move(pressed);
    tables.pushes.second = std::move(released);
    Add(control, rect, caption, normalId, pressedId, index);
}

SkinPushButtons::~SkinPushButtons() { ReleaseAll(tables_->pushes); }

void SkinPushButtons::Add(SkinControl& control, SkinRect rect, const QString& caption, std::uint32_t normalId,
                          std::uint32_t pressedId, int index)
{
    AddButton(tables_->pushes, control, rect, caption, normalId, pressedId, index, &OnPress, &OnRelease);
}

void SkinPushButtons::OnPress(SkinTables& tables, int index)
{
    SkinElement* e = At(tables.pushes, index);
    if (!e) return;  // not yet given its index
    e->state = 1;
    DrawButton(*e, tables);
    Present(e->backBuffer, *e->control);
    // The command runs now, while the button shows its pressed face; it may
    // open a modal dialog before the release arrives.
    if (tables.pushes.first) tables.pushes.first(index);
}

void SkinPushButtons::OnRelease(SkinTables& tables, int index)
{
    SkinElement* e = At(tables.pushes, index);
    if (!e) return;
    // A second release (after a leave, or ending a double-click) finds the
    // normal face already drawn.
    if (e->state != 0) {
        e->state = 0;
        DrawButton(*e, tables);
    }
    Present(e->backBuffer, *e->control);
    if (tables.pushes.second) tables.pushes.second(index);
}

void SkinPushButtons::SetCaption(int index, const QString& text)
{
    for (SkinElement& e : tables_->pushes.elements) {
        if (e.control && e.control->Index() == index) {
            e.caption = text;
            DrawButton(e, *tables_);
            return;
        }
    }
}

void SkinPushButtons::PresentAll() { COffScreenPicture::PresentAll(tables_->pushes); }

// ---- Toggle buttons ----

SkinToggleButtons::SkinToggleButtons(RunContext& ctx, SkinTables& tables, std::function<void(int)> toggled,
                                     std::function<void(int)> released, SkinControl& control, SkinRect rect,
                                     const QString& caption, std::uint32_t offId, std::uint32_t onId, int index)
    : COffScreenPicture(ctx, tables)
{
    tables.toggles.first = std::move(toggled);
    tables.toggles.second = std::move(released);
    Add(control, rect, caption, offId, onId, index);
}

SkinToggleButtons::~SkinToggleButtons() { ReleaseAll(tables_->toggles); }

void SkinToggleButtons::Add(SkinControl& control, SkinRect rect, const QString& caption, std::uint32_t offId,
                            std::uint32_t onId, int index)
{
    AddButton(tables_->toggles, control, rect, caption, offId, onId, index, &OnPress, &OnRelease);
}

int SkinToggleButtons::IsChecked(int index) const
{
    const SkinElement* e = At(tables_->toggles, index);
    return e && e->state == 1 ? 1 : 0;
}

void SkinToggleButtons::OnPress(SkinTables& tables, int index)
{
    SkinElement* e = At(tables.toggles, index);
    if (!e) return;
    e->state = e->state == 1 ? 0 : 1;
    if (tables.toggles.first) tables.toggles.first(index);
    DrawButton(*e, tables);
    Present(e->backBuffer, *e->control);
}

void SkinToggleButtons::OnRelease(SkinTables& tables, int index)
{
    SkinElement* e = At(tables.toggles, index);
    if (!e) return;
    if (tables.toggles.second) tables.toggles.second(index);
    // The state did not change, so the back buffer is still right: present
    // it without drawing it again.
    Present(e->backBuffer, *e->control);
}

void SkinToggleButtons::PresentAll() { COffScreenPicture::PresentAll(tables_->toggles); }

}  // namespace rovanta
