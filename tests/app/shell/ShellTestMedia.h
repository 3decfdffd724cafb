#pragma once

#include <QImage>
#include <string>

#include "TempDir.h"

namespace shelltest {

// Files made from the test photographs for the player window: an H.264 MP4 of 15 marked frames
// at 10 frames a second (320 x 240), a PNG and a JPEG picture.
struct PlayerFiles {
  testsupport::TempDir dir;
  std::string video, png, jpg;
  QImage pngImage, jpgImage;
  std::string error;  // empty when every file was written
};

PlayerFiles& playerFiles();

}  // namespace shelltest
