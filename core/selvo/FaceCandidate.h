#pragma once

namespace selvo {

// One face the model reported, in the pixels of the picture it was run on.
struct FaceCandidate {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  float score = 0;
};

}  // namespace selvo
