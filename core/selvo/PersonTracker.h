#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "ISELVO_TRACKER.h"
#include "LumaPyramid.h"
#include "TargetModel.h"

namespace selvo {

// Follows the rectangles it is given, one model per target: correlation filters for detected
// people, median flow for the rectangles the user drew. Rectangles are in process pixels; the
// frames come at video size and the targets are followed in video pixels, so nothing is
// scaled twice. Ids pass through; a lost target is reported where it was last seen, with
// score 0.
class PersonTracker : public ISELVO_TRACKER {
 public:
  bool Init(int width, int height, bool is360, int kind) override;
  void Track(unsigned frameId) override;
  void SetTargets(const rect* rects, int count) override;
  void GetResultCount(int* count) override;
  void GetResults(rect* rects, int count) override;
  void SetFrameManager(ISELVO_FRAME_MANAGER* frameManager) override;

 private:
  struct Target {
    rect given;                          // as handed in, process pixels
    std::unique_ptr<TargetModel> model;  // null until the next frame starts it
    bool lost = false;
  };
  std::unique_ptr<TargetModel> MakeModel() const;

  std::mutex mutex_;
  int width_ = 0;
  int height_ = 0;
  bool is360_ = false;
  int kind_ = 0;
  ISELVO_FRAME_MANAGER* frameManager_ = nullptr;
  std::vector<Target> targets_;
  std::vector<rect> results_;
  LumaPyramid frame_;  // of the frame being tracked
  bool resultsNew_ = false;
};

}  // namespace selvo
