#pragma once

#include "MeetingRoomSet.h"
#include "TestPanorama.h"

namespace testsupport {

// Renders a meeting room of MeetingRoomSet from the test photographs: the room's wall with its
// windows, the people far to near (each with a torso below the shoulders, so nearer people
// hide those behind them), the backlit people dark, the far end dim, sensor noise, then the
// camera's MJPEG compression (4:2:2 JPEG at the room's quality) and its luma plane. The
// panorama's face boxes are the people's true face boxes.
class MeetingRoomPicture {
 public:
  static visiontest::Panorama Render(const MeetingRoom& room);
};

}  // namespace testsupport
