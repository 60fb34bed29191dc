// Rectangles and autoresizing masks of the view stand-ins.
#ifndef OVRA_PLATFORM_UI_GEOMETRY_H_
#define OVRA_PLATFORM_UI_GEOMETRY_H_

#include <limits>

namespace ovra::platform {

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  // The null rectangle: no place at all (origin at infinity), as distinct from the zero
  // rectangle at the origin.
  static Rect null() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    return Rect{inf, inf, 0, 0};
  }
  bool isNull() const { return x == std::numeric_limits<double>::infinity(); }
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr unsigned kViewMinXMargin = 1;
inline constexpr unsigned kViewWidthSizable = 2;
inline constexpr unsigned kViewMaxXMargin = 4;
inline constexpr unsigned kViewMinYMargin = 8;
inline constexpr unsigned kViewHeightSizable = 16;
inline constexpr unsigned kViewMaxYMargin = 32;

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_UI_GEOMETRY_H_
