#include "facedetect/FaceDetectorSource.h"

namespace orlith {

std::vector<DoubleRect> FaceDetectorSource::origRects() const {
  std::vector<DoubleRect> out;
  for (const auto& r : detector_.origRects()) out.push_back({r.x, r.y, r.width, r.height});
  return out;
}

}  // namespace orlith
