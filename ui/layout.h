// The design of the installer window as data: the child controls, the
// palette, the header art, the painted texts and the status band, in design
// units of the 840 x 552 client area, and the pixel geometry they give at a
// display scale. Pure (no windows.h): the creation and paint code walk these
// tables, and the unit tests check every rectangle at any scale.
#ifndef VTF_UI_LAYOUT_H
#define VTF_UI_LAYOUT_H

#include <cstdint>

#include "app/text_table.h"
#include "ui/control_ids.h"

struct DesignPoint { double x, y; };
struct DesignRect { double left, top, right, bottom; };
struct PixelPoint { int x, y; };
struct PixelRect { int left, top, right, bottom; };
struct PixelBox { int x, y, width, height; };
struct PixelLine { PixelPoint from, to; };

// A control or painted text without a text of the table.
constexpr TextKey kNoText = TXT_KEY_COUNT;

// ---- Controls -------------------------------------------------------------

// The child controls in creation order, which is also the Tab order.
enum ControlSlot {
  kFolderField,
  kBrowseButton,
  kDesktopCheck,
  kStartMenuCheck,
  kStartupCheck,
  kProgressBar,
  kMainButton,
  kWebsiteButton,
  kControlCount
};

struct ControlSpec {
  const wchar_t* class_name;
  int id;                 // 0 for the progress bar
  std::uint32_t style;
  double x, y, width, height;
  TextKey text;           // kNoText: created without text
};

extern const ControlSpec kControls[kControlCount];

// Position and size of a control at `scale`, each number scaled on its own.
PixelBox ControlBox(ControlSlot slot, double scale);

// ---- Palette (COLORREF values, 0x00BBGGRR) --------------------------------

constexpr std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint32_t>(r | (g << 8) | (b << 16));
}

constexpr std::uint32_t color_background = Rgb(8, 15, 29);
constexpr std::uint32_t color_panel = Rgb(17, 30, 50);
constexpr std::uint32_t color_grid = Rgb(27, 54, 74);
constexpr std::uint32_t color_accent = Rgb(106, 220, 242);
constexpr std::uint32_t color_border = Rgb(42, 64, 93);
constexpr std::uint32_t color_text = Rgb(238, 247, 255);
constexpr std::uint32_t color_text_muted = Rgb(157, 179, 202);
constexpr std::uint32_t color_accent_disabled = Rgb(62, 93, 111);

// ---- Status band ----------------------------------------------------------

// The band repainted when the status line changes; it encloses the status
// text rectangle.
constexpr DesignRect kStatusBand = {40, 400, 800, 448};

PixelRect StatusBand(double scale);

// ---- Header art -----------------------------------------------------------

constexpr int kSlantedLineCount = 8;
constexpr int kHorizontalLineCount = 7;
constexpr int kRingCount = 2;
constexpr int kAccentPointCount = 4;

struct HeaderArtDesign {
  // Slanted line k runs from (top_x + k * step, top_y) down to
  // (bottom_x + k * step, bottom_y).
  double slant_top_x, slant_bottom_x, slant_step, slant_top_y, slant_bottom_y;
  // Horizontal lines from (left, first_y) to (right, first_y) in steps of
  // step_y while y stays below limit_y.
  double hline_left, hline_right, hline_first_y, hline_step_y, hline_limit_y;
  DesignRect rings[kRingCount];                // outer, inner
  DesignPoint accent_points[kAccentPointCount];  // the rising polyline
  double point_radius;
  int grid_pen_width;                          // pixels, never scaled
  double accent_pen_width;
};

extern const HeaderArtDesign kHeaderArt;

// The header art in pixels at one scale.
struct HeaderArt {
  PixelLine slanted[kSlantedLineCount];
  PixelLine horizontal[kHorizontalLineCount];
  PixelRect rings[kRingCount];
  PixelPoint polyline[kAccentPointCount];
  // Hollow circles around the polyline's points: the scaled point plus or
  // minus the scaled radius.
  PixelRect point_circles[kAccentPointCount];
  int grid_pen_width;
  int accent_pen_width;
};

HeaderArt HeaderArtAt(double scale);

// ---- Icon and buttons -----------------------------------------------------

constexpr DesignPoint kIconOrigin = {40, 32};
constexpr double kIconSize = 42;
constexpr double kButtonCorner = 12;   // width and height of the corner ellipse
constexpr double kFocusInset = 4;      // focus rectangle inside a button's edges

PixelBox IconBox(double scale);
int ButtonCornerAt(double scale);
int FocusInsetAt(double scale);

// ---- Painted texts --------------------------------------------------------

enum PaintFont { kFontTitle, kFontSmall, kFontHeadline, kFontBody };

// The status line (status_text) in place of a table text.
constexpr TextKey kStatusLineText = kNoText;

struct PaintedText {
  TextKey text;          // kStatusLineText: the current status line
  PaintFont font;
  std::uint32_t color;
  DesignRect rect;
};

constexpr int kPaintedTextCount = 6;
extern const PaintedText kPaintedTexts[kPaintedTextCount];

// DrawTextW flags of the painted texts (DT_NOPREFIX | DT_WORDBREAK |
// DT_VCENTER) and of the button labels (DT_CENTER | DT_VCENTER |
// DT_SINGLELINE | DT_NOPREFIX).
constexpr unsigned kPaintedTextFormat = 0x814;
constexpr unsigned kButtonLabelFormat = 0x825;

PixelRect ScaleRect(const DesignRect& rect, double scale);
PixelPoint ScalePoint(const DesignPoint& point, double scale);

#endif
