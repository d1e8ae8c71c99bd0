// The window's dark theme: background, header art, icon and texts, the three
// owner-drawn buttons and the colours of the standard controls. Every pen and
// brush made here is deleted before its message returns.
#include "ui/paint.h"

#include "app/resources.h"
#include "app/scale.h"
#include "app/text_table.h"
#include "ui/layout.h"
#include "ui/window.h"

static_assert(kPaintedTextFormat == (DT_NOPREFIX | DT_WORDBREAK | DT_VCENTER), "text format");
static_assert(kButtonLabelFormat == (DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX),
              "button label format");
static_assert(color_background == RGB(8, 15, 29) && color_accent == RGB(106, 220, 242),
              "palette byte order");

namespace {

HFONT FontOf(PaintFont font) {
  switch (font) {
    case kFontTitle: return font_title;
    case kFontSmall: return font_small;
    case kFontHeadline: return font_headline;
    case kFontBody: break;
  }
  return font_body;
}

void DrawLine(HDC dc, const PixelLine& line) {
  MoveToEx(dc, line.from.x, line.from.y, nullptr);
  LineTo(dc, line.to.x, line.to.y);
}

void DrawEllipse(HDC dc, const PixelRect& r) { Ellipse(dc, r.left, r.top, r.right, r.bottom); }

// Grid, rings and the rising accent line with its marked points, outlines only.
void DrawHeaderArt(HDC dc) {
  const HeaderArt art = HeaderArtAt(ui_scale);
  HPEN grid_pen = CreatePen(PS_SOLID, art.grid_pen_width, color_grid);
  HPEN accent_pen = CreatePen(PS_SOLID, art.accent_pen_width, color_accent);
  HGDIOBJ old_pen = SelectObject(dc, grid_pen);
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));

  for (const PixelLine& line : art.slanted) DrawLine(dc, line);
  for (const PixelLine& line : art.horizontal) DrawLine(dc, line);
  for (const PixelRect& ring : art.rings) DrawEllipse(dc, ring);

  SelectObject(dc, accent_pen);
  POINT points[kAccentPointCount];
  for (int i = 0; i < kAccentPointCount; ++i) points[i] = {art.polyline[i].x, art.polyline[i].y};
  Polyline(dc, points, kAccentPointCount);
  for (const PixelRect& circle : art.point_circles) DrawEllipse(dc, circle);

  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(grid_pen);
  DeleteObject(accent_pen);
}

// The program's icon, loaded shared (the system owns it).
void DrawHeaderIcon(HDC dc) {
  const PixelBox box = IconBox(ui_scale);
  HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                           box.width, box.height, LR_SHARED);
  if (icon == nullptr) return;
  DrawIconEx(dc, box.x, box.y, static_cast<HICON>(icon), box.width, box.height, 0, nullptr, DI_NORMAL);
}

void DrawPaintedTexts(HDC dc) {
  for (const PaintedText& item : kPaintedTexts) {
    const wchar_t* text = item.text == kStatusLineText ? status_text : Text(item.text);
    const PixelRect r = ScaleRect(item.rect, ui_scale);
    RECT rect{r.left, r.top, r.right, r.bottom};
    SelectObject(dc, FontOf(item.font));
    SetTextColor(dc, item.color);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &rect, kPaintedTextFormat);
  }
}

}  // namespace

LRESULT OnEraseBackground(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, background_brush);
  return 1;
}

LRESULT OnPaint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  // Status changes invalidate without erasing; this fill is what clears the
  // previous line before the new one is drawn with a transparent background.
  FillRect(dc, &ps.rcPaint, background_brush);
  DrawHeaderArt(dc);
  DrawHeaderIcon(dc);
  DrawPaintedTexts(dc);
  EndPaint(window, &ps);
  return 0;
}

LRESULT OnDrawItem(const DRAWITEMSTRUCT* item) {
  // Chosen by id: the main button shows its enabled state, the others never do.
  const bool main = item->CtlID == static_cast<UINT>(IDC_INSTALL);
  const COLORREF fill = !main ? color_panel
                        : (item->itemState & ODS_DISABLED) ? color_accent_disabled
                                                           : color_accent;
  const COLORREF label = main ? color_background : color_text;
  HDC dc = item->hDC;
  const RECT& bounds = item->rcItem;

  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, color_border);
  HGDIOBJ old_brush = SelectObject(dc, brush);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  const int corner = ButtonCornerAt(ui_scale);
  RoundRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom, corner, corner);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(brush);
  DeleteObject(pen);

  // Read each time, so a new label of the main button shows at its next redraw.
  wchar_t text[256];
  GetWindowTextW(item->hwndItem, text, 256);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, label);
  SelectObject(dc, font_body);
  RECT text_rect = bounds;
  DrawTextW(dc, text, -1, &text_rect, kButtonLabelFormat);

  if (item->itemState & ODS_FOCUS) {
    RECT focus = bounds;
    const int inset = FocusInsetAt(ui_scale);
    InflateRect(&focus, -inset, -inset);
    DrawFocusRect(dc, &focus);
  }
  return TRUE;
}

LRESULT OnControlColor(HDC dc) {
  SetTextColor(dc, color_text);
  SetBkColor(dc, color_background);
  return reinterpret_cast<LRESULT>(background_brush);
}
