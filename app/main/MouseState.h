#pragma once

namespace corvane {

// The gesture kind of a press on the preview; the raw values are the case order. As a cursor,
// `none` and `noDraw` are the arrow, `anyDrag` the grab hand, `anyMove` the four-way and
// `hMove` the horizontal pan.
enum class MouseState : int {
  none = 0,
  noDraw = 1,
  anyMove = 2,
  anyDrag = 3,
  hMove = 4,
  dragTop = 5,
  dragBottom = 6,
  dragLeft = 7,
  dragRight = 8,
  dragLeftTop = 9,
  dragLeftBottom = 10,
  dragRightTop = 11,
  dragRightBottom = 12,
};

}  // namespace corvane
