// Display scale: every coordinate, size and font height of the window is a
// design unit of an 840 x 552 client area, turned into pixels by ScaleValue.
// Pure arithmetic (no windows.h), so it is unit-tested natively and under Wine.
#ifndef VTF_APP_SCALE_H
#define VTF_APP_SCALE_H

// Set once at start-up from ComputeUiScale and never changed afterwards.
extern double ui_scale;

// The scale for a screen of `logpixels_x` dots per inch whose work area is
// work_width x work_height pixels: LOGPIXELSX / 96, shrunk so that an
// 880 x 600 window fits the work area (width first, then height).
double ComputeUiScale(int logpixels_x, int work_width, int work_height);

// v design units as pixels at `scale`: v * scale + 0.5, truncated.
int ScaleValueAt(double scale, double v);

// v design units as pixels at ui_scale.
int ScaleValue(double v);

#endif
