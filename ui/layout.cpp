#include "ui/layout.h"

#include "app/scale.h"

namespace {

// Window styles of the controls, spelled out so this file needs no windows.h.
constexpr std::uint32_t kFolderFieldStyle = 0x50810080;  // child, visible, border, tab stop, auto h-scroll
constexpr std::uint32_t kOwnerDrawnButton = 0x5001000B;  // child, visible, tab stop, owner-drawn
constexpr std::uint32_t kCheckBox = 0x50010003;          // child, visible, tab stop, auto check box
constexpr std::uint32_t kMarqueeBar = 0x50000008;        // child, visible, marquee, no tab stop

}  // namespace

const ControlSpec kControls[kControlCount] = {
    {L"EDIT", IDC_FOLDER, kFolderFieldStyle, 40, 296, 644, 34, kNoText},
    {L"BUTTON", IDC_BROWSE, kOwnerDrawnButton, 698, 296, 102, 34, TXT_BROWSE},
    {L"BUTTON", IDC_DESKTOP, kCheckBox, 40, 351, 232, 30, TXT_DESKTOP_SHORTCUT},
    {L"BUTTON", IDC_STARTMENU, kCheckBox, 280, 351, 240, 30, TXT_START_MENU_SHORTCUT},
    {L"BUTTON", IDC_STARTUP, kCheckBox, 536, 351, 264, 30, TXT_LAUNCH_AT_STARTUP},
    {L"msctls_progress32", 0, kMarqueeBar, 40, 454, 760, 6, kNoText},
    {L"BUTTON", IDC_INSTALL, kOwnerDrawnButton, 554, 482, 246, 44, TXT_INSTALL_AND_LAUNCH},
    {L"BUTTON", IDC_WEBSITE, kOwnerDrawnButton, 40, 482, 224, 44, TXT_WEBSITE_LABEL},
};

const HeaderArtDesign kHeaderArt = {
    521, 489, 32, 45, 220,                 // slanted lines
    525, 803, 50, 28, 220,                 // horizontal lines
    {{615, 63, 795, 197}, {638, 80, 772, 180}},  // rings, both centred on (705, 130)
    {{548, 196}, {622, 170}, {677, 92}, {770, 60}},
    4,                                     // point circle radius
    1,                                     // grid pen, pixels
    2,                                     // accent pen
};

const PaintedText kPaintedTexts[kPaintedTextCount] = {
    {TXT_HEADER_TITLE, kFontTitle, color_text, {96, 32, 496, 60}},
    {TXT_HEADER_SUBTITLE, kFontSmall, color_accent, {96, 60, 396, 80}},
    {TXT_HEADLINE, kFontHeadline, color_text, {40, 117, 505, 162}},
    {TXT_INTRO, kFontBody, color_text_muted, {40, 175, 500, 228}},
    {TXT_FOLDER_LABEL, kFontBody, color_text_muted, {40, 261, 640, 287}},
    {kStatusLineText, kFontBody, color_text_muted, {40, 405, 800, 443}},
};

PixelRect ScaleRect(const DesignRect& rect, double scale) {
  return {ScaleValueAt(scale, rect.left), ScaleValueAt(scale, rect.top),
          ScaleValueAt(scale, rect.right), ScaleValueAt(scale, rect.bottom)};
}

PixelPoint ScalePoint(const DesignPoint& point, double scale) {
  return {ScaleValueAt(scale, point.x), ScaleValueAt(scale, point.y)};
}

PixelBox ControlBox(ControlSlot slot, double scale) {
  const ControlSpec& c = kControls[slot];
  return {ScaleValueAt(scale, c.x), ScaleValueAt(scale, c.y), ScaleValueAt(scale, c.width),
          ScaleValueAt(scale, c.height)};
}

PixelRect StatusBand(double scale) { return ScaleRect(kStatusBand, scale); }

HeaderArt HeaderArtAt(double scale) {
  const HeaderArtDesign& d = kHeaderArt;
  HeaderArt art{};
  for (int k = 0; k < kSlantedLineCount; ++k) {
    art.slanted[k] = {ScalePoint({d.slant_top_x + d.slant_step * k, d.slant_top_y}, scale),
                      ScalePoint({d.slant_bottom_x + d.slant_step * k, d.slant_bottom_y}, scale)};
  }
  int row = 0;
  for (double y = d.hline_first_y; y < d.hline_limit_y && row < kHorizontalLineCount;
       y += d.hline_step_y, ++row) {
    art.horizontal[row] = {ScalePoint({d.hline_left, y}, scale), ScalePoint({d.hline_right, y}, scale)};
  }
  for (int i = 0; i < kRingCount; ++i) art.rings[i] = ScaleRect(d.rings[i], scale);
  const int r = ScaleValueAt(scale, d.point_radius);
  for (int i = 0; i < kAccentPointCount; ++i) {
    const PixelPoint p = ScalePoint(d.accent_points[i], scale);
    art.polyline[i] = p;
    art.point_circles[i] = {p.x - r, p.y - r, p.x + r, p.y + r};
  }
  art.grid_pen_width = d.grid_pen_width;
  art.accent_pen_width = ScaleValueAt(scale, d.accent_pen_width);
  return art;
}

PixelBox IconBox(double scale) {
  const int size = ScaleValueAt(scale, kIconSize);
  return {ScaleValueAt(scale, kIconOrigin.x), ScaleValueAt(scale, kIconOrigin.y), size, size};
}

int ButtonCornerAt(double scale) { return ScaleValueAt(scale, kButtonCorner); }

int FocusInsetAt(double scale) { return ScaleValueAt(scale, kFocusInset); }
