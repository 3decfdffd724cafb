// The meeting rooms the detector and the layout are measured on: what each room holds, and that
// the picture puts every face where the set says it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "MeetingRoomPicture.h"
#include "MeetingRoomSet.h"

using testsupport::MeetingPerson;
using testsupport::MeetingRoom;
using testsupport::MeetingRoomSet;
using testsupport::RoomLight;

namespace {

// What every meeting room holds, the set's own and those made from a seed alike.
void ExpectAMeeting(const std::vector<MeetingRoom>& rooms) {
  std::set<std::pair<int, int>> sizes;
  for (const MeetingRoom& room : rooms) {
    SCOPED_TRACE(room.name);
    sizes.insert({room.width, room.height});
    EXPECT_TRUE(room.is360);
    EXPECT_GE(room.people.size(), 8u);
    EXPECT_LE(room.people.size(), 12u);
    int seam = 0, hidden = 0, turned = 0, backlit = 0, dim = 0;
    float smallest = 1e9f, largest = 0;
    for (size_t i = 0; i < room.people.size(); ++i) {
      const MeetingPerson& p = room.people[i];
      smallest = std::min(smallest, p.face.height);
      largest = std::max(largest, p.face.height);
      EXPECT_GE(p.face.x, 0);
      EXPECT_LT(p.face.x, room.width);
      EXPECT_GT(p.face.y, room.height * 0.2f);
      EXPECT_LT(p.face.y + p.face.height, room.height * 0.6f);
      // The body holds the face.
      float bodyRight = p.body.x + p.body.width, faceRight = p.face.x + p.face.width;
      if (p.body.x > p.face.x) bodyRight -= room.width;  // the body wraps, the face does not
      EXPECT_LE(p.body.y, p.face.y);
      EXPECT_GE(p.body.y + p.body.height, p.face.y + p.face.height);
      EXPECT_GE(bodyRight, faceRight - (p.acrossSeam ? 0 : 0.5f));
      EXPECT_EQ(p.acrossSeam, p.face.x + p.face.width > room.width);
      seam += p.acrossSeam;
      hidden += p.hidden > 0.2f;
      turned += std::abs(p.turn) >= 0.3f;
      backlit += p.light == RoomLight::backlit;
      dim += p.light == RoomLight::dim;
      // Drawn far to near.
      if (i > 0) {
        EXPECT_LE(p.distance, room.people[i - 1].distance);
      }
    }
    EXPECT_GE(smallest, 20);
    EXPECT_LE(smallest, 24);
    EXPECT_LE(largest, 90);
    EXPECT_GE(largest, 60);
    EXPECT_EQ(seam, 1);
    EXPECT_GE(hidden, 1);
    EXPECT_GE(turned, 2);
    EXPECT_GE(backlit, 1);
    EXPECT_GE(dim, 2);
  }
  EXPECT_EQ(sizes, (std::set<std::pair<int, int>>{{3840, 1080}, {4992, 1248}}));
}

}  // namespace

TEST(MeetingRoomSetTest, EveryRoomHoldsTheConditionsOfARealMeeting) {
  std::vector<MeetingRoom> rooms = MeetingRoomSet::Rooms();
  ASSERT_GE(rooms.size(), 6u);
  ExpectAMeeting(rooms);
  // Made afresh, the same rooms.
  std::vector<MeetingRoom> again = MeetingRoomSet::Rooms();
  ASSERT_EQ(again.size(), rooms.size());
  for (size_t r = 0; r < rooms.size(); ++r)
    for (size_t i = 0; i < rooms[r].people.size(); ++i) {
      EXPECT_EQ(again[r].people[i].face.x, rooms[r].people[i].face.x);
      EXPECT_EQ(again[r].people[i].face.y, rooms[r].people[i].face.y);
    }
}

TEST(MeetingRoomSetTest, ThePictureHasEveryFaceWhereTheSetSaysAndTheCamerasCompression) {
  for (const MeetingRoom& room : MeetingRoomSet::Rooms()) {
    SCOPED_TRACE(room.name);
    visiontest::Panorama p = testsupport::MeetingRoomPicture::Render(room);
    ASSERT_EQ(p.width, room.width);
    ASSERT_EQ(p.bgr.cols, room.width);
    ASSERT_EQ(p.bgr.rows, room.height);
    ASSERT_EQ(p.luma.cols, room.width);
    ASSERT_EQ(p.faces.size(), room.people.size());
    for (size_t i = 0; i < p.faces.size(); ++i) {
      const auto& f = room.people[i].face;
      EXPECT_NEAR(p.faces[i].x, f.x, 1.0f);
      EXPECT_NEAR(p.faces[i].y, f.y, 1.0f);
      EXPECT_NEAR(p.faces[i].width, f.width, 1.0f);
      EXPECT_NEAR(p.faces[i].height, f.height, 1.0f);
    }
    // The dim end is dark and a backlit face darker than the window behind it.
    for (const MeetingPerson& person : room.people) {
      cv::Rect box(int(person.face.x), int(person.face.y), int(person.face.width) / 2,
                   int(person.face.height));
      if (box.x + box.width > p.width) continue;
      double mean = cv::mean(p.luma(box))[0];
      if (person.light == RoomLight::dim) {
        EXPECT_LT(mean, 70) << person.face.x;
      }
      if (person.light == RoomLight::backlit) {
        EXPECT_LT(mean, 120) << person.face.x;
      }
    }
  }
  EXPECT_EQ(testsupport::MeetingRoomPicture::Render(MeetingRoomSet::Rooms()[0])
                .luma.at<uint8_t>(500, 1000),
            testsupport::MeetingRoomPicture::Render(MeetingRoomSet::Rooms()[0])
                .luma.at<uint8_t>(500, 1000));
}

// Rooms made from a seed are meetings of the same kind, differ from seed to seed and are the
// same every time for one seed. (These seeds only check the making; hold-out seeds are chosen
// when the rooms are measured, see CORVANE_HOLDOUT_SEEDS.)
TEST(MeetingRoomSetTest, RoomsFromASeedAreMeetingsOfTheSameKind) {
  for (unsigned seed = 9001; seed <= 9040; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<MeetingRoom> rooms = MeetingRoomSet::Rooms(seed);
    ASSERT_EQ(rooms.size(), 2u);
    ExpectAMeeting(rooms);
    std::vector<MeetingRoom> again = MeetingRoomSet::Rooms(seed);
    ASSERT_EQ(again[0].people.size(), rooms[0].people.size());
    for (size_t i = 0; i < rooms[0].people.size(); ++i)
      EXPECT_EQ(again[0].people[i].face.x, rooms[0].people[i].face.x);
  }
  EXPECT_NE(MeetingRoomSet::Rooms(9001)[0].people[1].face.x,
            MeetingRoomSet::Rooms(9002)[0].people[1].face.x);
  EXPECT_EQ(MeetingRoomSet::Rooms(0).size(), MeetingRoomSet::Rooms().size());
}
