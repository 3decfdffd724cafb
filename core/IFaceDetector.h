#pragma once

#include <vector>

#include "DoubleRect.h"
#include "video/PixelBuffer.h"

namespace orlith {

// What the facade needs of the framework's own face detector, which finds the faces when the
// process runs translated and the vision library cannot detect by itself. The facade holds
// none until that detector exists; without one the library detects on its own.
class IFaceDetector {
 public:
  virtual ~IFaceDetector() = default;
  virtual bool runningWithRosetta() const = 0;
  virtual void setSrcType(bool is360) = 0;
  virtual void detectWithYUVPixelBuffer(const platform::PixelBufferRef& frame) = 0;
  virtual int rectsCount() const = 0;
  virtual bool isUpdated() const = 0;
  virtual void setIsUpdated(bool updated) = 0;
  virtual std::vector<DoubleRect> origRects() const = 0;
};

}  // namespace orlith
