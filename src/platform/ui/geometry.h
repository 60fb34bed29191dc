// Rectangles and autoresizing masks of the view stand-ins.
#ifndef OVRA_PLATFORM_UI_GEOMETRY_H_
#define OVRA_PLATFORM_UI_GEOMETRY_H_

#include <limits>

namespace ovra::platform {

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;

  // The null rectangle: no place at all (origin at infinity), as distinct from the zero
  // rectangle at the origin.
  static Rect null() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    return Rect{inf, inf, 0, 0};
  }
  bool isNull() const { return x == std::numeric_limits<double>::infinity(); }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Autoresizing mask bits: which of a view's margins and sizes follow its superview.
enum : unsigned {
  kViewMinXMargin = 1u << 0,
  kViewWidthSizable = 1u << 1,
  kViewMaxXMargin = 1u << 2,
  kViewMinYMargin = 1u << 3,
  kViewHeightSizable = 1u << 4,
  kViewMaxYMargin = 1u << 5,
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_UI_GEOMETRY_H_
