#include "app/scale.h"

double ui_scale = 1.0;

// The window with its frame needs about 880 x 600 design units; a scale that
// would not fit it into the work area is reduced, width first, then height.
double ComputeUiScale(int logpixels_x, int work_width, int work_height) {
  double scale = logpixels_x / 96.0;
  if (work_width < ScaleValueAt(scale, 880)) scale = work_width / 880.0;
  if (work_height < ScaleValueAt(scale, 600)) scale = work_height / 600.0;
  return scale;
}

int ScaleValueAt(double scale, double v) {
  return static_cast<int>(v * scale + 0.5);
}

int ScaleValue(double v) {
  return ScaleValueAt(ui_scale, v);
}
