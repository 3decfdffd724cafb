#pragma once

#include <cstdint>
#include <vector>

#include "LayoutModel.h"

namespace selvo {

// What the speaker tracker needs of the frame.
struct VoiceGeometry {
  bool is360 = true;
  double width = 0;  // display width
  // The view's mirror and turn, which the people's boxes went through on their way to the
  // display: a voice direction goes through them too.
  bool mirror = false;
  int contentOffset = 0;  // 360-degree cameras only
  int angleTolerance = 15;
  int highlightMs = 3000;
  int clearMs = 5000;
};

// Chooses the active speaker from the voice directions: a person becomes the speaker after a few
// consistent samples, another takes over only after the dwell, and the speaker is cleared after
// the clear time without a sample.
class SpeakerTracker {
 public:
  static constexpr int64_t kConfirmUs = 400'000;
  static constexpr int64_t kStreakGapUs = 600'000;
  static constexpr int kDefaultDwellMs = 2000;

  void reset();
  // One voice sample at a time, matched against the people (display coordinates).
  void addSample(bool isVoice, int angle, int64_t nowUs, const std::vector<LayoutPerson>& people,
                 const VoiceGeometry& geometry);
  // Clears what is too old or gone; call once per frame after the samples.
  void refresh(int64_t nowUs, const std::vector<LayoutPerson>& people,
               const VoiceGeometry& geometry);

  int activeSpeaker() const { return active_; }
  bool isHighlighted(int id, int64_t nowUs, const VoiceGeometry& geometry) const;
  // People who spoke recently, newest first (the active speaker included).
  const std::vector<int>& recentSpeakers() const { return recent_; }

  // The display column a voice direction points at, or a negative value outside the view. The
  // direction is the camera's (0 at the middle of the picture it sends); the column is the view's,
  // mirrored and turned as the people in it are.
  static double columnForAngle(int angle, const VoiceGeometry& geometry);
  // The person the sample points at, -1 when nobody is within the tolerance.
  static int personAt(double column, const std::vector<LayoutPerson>& people,
                      const VoiceGeometry& geometry);

 private:
  struct Heard {
    int id;
    int64_t at;
  };
  static int dwellMs(const VoiceGeometry& geometry);
  void heard(int id, int64_t nowUs);

  int active_ = -1;
  int64_t activeSince_ = 0;
  int candidate_ = -1;
  int64_t candidateSince_ = 0;
  int64_t candidateLast_ = 0;
  std::vector<Heard> lastHeard_;
  std::vector<int> recent_;
};

}  // namespace selvo
