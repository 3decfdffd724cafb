#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/SerialQueue.h"
#include "facedetect/Bbox.h"
#include "facedetect/FaceDetector.h"
#include "video/PixelBuffer.h"

namespace orlith {

// Finds faces in camera frames with the face model when the process runs translated, in place
// of the vision library's own detector. Detection runs on the serial queue "vision.queue"; the
// facade polls isUpdated() and takes the rectangles.
class IDetector {
 public:
  // A rectangle in the detector's result space (see decode()).
  struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
  };

  static constexpr int kInputSide = 1920;
  static constexpr size_t kPriorCount = 151200;

  static IDetector& shared();
  // A detector over an explicit model file; runningTranslated decides whether it is used.
  IDetector(bool runningTranslated, const std::string& modelPath);
  ~IDetector();

  void setSrcType(bool is360);
  // Returns at once; a frame offered while a detection runs is dropped.
  void detect(const platform::PixelBufferRef& yuvPixelBuffer);

  bool available() const { return visionModel_ != nullptr; }
  bool runningWithRosetta() const { return runningWithRosetta_; }
  bool isUpdated() const;
  void setIsUpdated(bool updated);
  bool inDetect() const;
  int64_t rectsCount() const;
  std::vector<Rect> origRects() const;
  std::vector<Rect> adjustRects() const;
  double srcWidth() const;
  double srcHeight() const;
  bool srcType() const;
  // Waits until the detections already submitted have finished.
  void waitUntilIdle();

  // The prior table for the 1920 x 1920 input: four values (cx, cy, w, h) per prior.
  static const std::vector<float>& priorTable();
  // Box offsets ("1598", four per prior) and scores ("1799", two per prior) to rectangles,
  // for a W x H frame: candidates above 0.6, area above 25, suppression at 0.2.
  // priorsCovered is N, the scores' second dimension; boxRows and scoreRows what was delivered.
  static std::vector<Rect> decode(const float* boxes, size_t boxRows, const float* scores,
                                  size_t scoreRows, size_t priorsCovered, double W, double H,
                                  bool srcType);
  static std::vector<Bbox> suppress(std::vector<Bbox> boxes);
  static float overlapRatio(const Bbox& a, const Bbox& b);

 private:
  void finishDetection(std::vector<Rect> rects);

  std::unique_ptr<FaceDetector> visionModel_;
  mutable std::mutex mutex_;
  double srcWidth_ = 0;
  double srcHeight_ = 0;
  float confThreshold_ = 0.6f;
  float nmsThreshold_ = 0.2f;
  float areaThreshold_ = 25.0f;
  std::optional<double> time_;
  bool isUpdated_ = false;
  bool inDetect_ = false;
  std::vector<Rect> origRects_;
  std::vector<Rect> adjustRects_;
  int64_t rectsCount_ = 0;
  int64_t frameNo_ = 0;
  bool srcType_ = false;
  bool runningWithRosetta_ = false;
  // Last, so it is destroyed first and its pending detections finish while the rest still lives.
  platform::SerialQueue visionQueue_{"vision.queue"};
};

}  // namespace orlith
