#include <gtest/gtest.h>

#include "LayoutHarness.h"
#include "selvo/SpeakerTracker.h"

using namespace layouttest;
using selvo::LayoutPerson;
using selvo::SpeakerTracker;
using selvo::VoiceGeometry;

// The speaker choice: voice directions to people, confirmation, dwell, highlight and clearing.
namespace {

LayoutPerson person(int id, float x) {
  LayoutPerson p;
  p.id = id;
  p.box = box(x, 400, 300, 320, id);
  return p;
}

VoiceGeometry room360() {
  VoiceGeometry g;
  g.is360 = true;
  g.width = 3840;
  g.angleTolerance = 15;
  g.highlightMs = 2000;
  g.clearMs = 4000;
  return g;
}

// The angle that points at a display column of a 3840-wide 360-degree picture.
int angleAt(double column) {
  int a = static_cast<int>(std::lround((column - 1920) / 3840 * 360));
  if (a > 180) a -= 360;
  return a;
}

constexpr int64_t kMs = 1000;

}  // namespace

TEST(SpeakerTracker, VoiceDirectionsMapToColumns) {
  const VoiceGeometry g = room360();
  EXPECT_DOUBLE_EQ(SpeakerTracker::columnForAngle(0, g), 1920);
  EXPECT_DOUBLE_EQ(SpeakerTracker::columnForAngle(180, g), 0);
  EXPECT_DOUBLE_EQ(SpeakerTracker::columnForAngle(-90, g), 960);
  VoiceGeometry narrow = g;
  narrow.is360 = false;
  narrow.width = 1920;
  EXPECT_DOUBLE_EQ(SpeakerTracker::columnForAngle(45, narrow), 1440);
  EXPECT_LT(SpeakerTracker::columnForAngle(120, narrow), 0);  // behind a 180-degree camera
}

// The voice's column goes through the view's mirror and turn as the people's boxes do: a voice
// aimed at a person's place in the camera's picture lands on that person in every view.
TEST(SpeakerTracker, VoiceColumnsFollowTheMirrorAndTheTurn) {
  struct Case {
    bool is360;
    bool mirror;
    int offset;
    int angle;
    double column;
  };
  const Case cases[] = {
      // 360 degrees, 3840 wide: angle 0 is the camera's middle, column 1920 when unturned.
      {true, false, 0, 0, 1920},
      {true, true, 0, 0, 1920},       // the middle stays the middle
      {true, true, 0, 90, 960},       // the right quarter seen on the left
      {true, true, 0, -90, 2880},     //
      {true, false, 700, 90, 2180},   // turned: 2880 - 700
      {true, false, 3000, 90, 3720},  // across the seam: 2880 - 3000 + 3840
      {true, true, 700, 90, 1660},    // turned, then mirrored: 3840 - 2180
      {true, true, 3000, -90, 2040},  // 960 - 3000 + 3840 = 1800, mirrored
      {true, false, 0, 180, 0},
      {true, true, 0, 180, 0},  // the seam is its own mirror image
      // 180 degrees, 1920 wide: mirrored about the middle, never turned.
      {false, false, 0, 45, 1440},
      {false, true, 0, 45, 480},
      {false, true, 500, -45, 1440},
      {false, true, 0, 120, -1},  // behind the camera either way
  };
  for (const Case& c : cases) {
    VoiceGeometry g = room360();
    g.is360 = c.is360;
    g.width = c.is360 ? 3840 : 1920;
    g.mirror = c.mirror;
    g.contentOffset = c.offset;
    const double column = SpeakerTracker::columnForAngle(c.angle, g);
    if (c.column < 0) {
      EXPECT_LT(column, 0) << c.angle;
    } else {
      EXPECT_NEAR(column, c.column, 1e-3) << "360 " << c.is360 << " mirror " << c.mirror
                                          << " offset " << c.offset << " angle " << c.angle;
    }
  }
}

TEST(SpeakerTracker, MatchesTheNearestPersonWithinTheTolerance) {
  const VoiceGeometry g = room360();
  const std::vector<LayoutPerson> people = {person(1, 350), person(2, 3700)};
  // Person 2's centre is at 3850 = 10 across the seam.
  EXPECT_EQ(SpeakerTracker::personAt(0, people, g), 2);
  EXPECT_EQ(SpeakerTracker::personAt(500, people, g), 1);
  EXPECT_EQ(SpeakerTracker::personAt(1500, people, g), -1);  // 100 degrees from anyone
}

TEST(SpeakerTracker, ASpeakerIsConfirmedHighlightedAndCleared) {
  const VoiceGeometry g = room360();
  const std::vector<LayoutPerson> people = {person(1, 350), person(2, 2000)};
  SpeakerTracker t;
  int64_t now = 0;
  for (; now < 300 * kMs; now += 33 * kMs) {
    t.addSample(true, angleAt(500), now, people, g);
    t.refresh(now, people, g);
  }
  EXPECT_EQ(t.activeSpeaker(), -1);  // not yet consistent long enough
  for (; now < 600 * kMs; now += 33 * kMs) {
    t.addSample(true, angleAt(500), now, people, g);
    t.refresh(now, people, g);
  }
  EXPECT_EQ(t.activeSpeaker(), 1);
  EXPECT_TRUE(t.isHighlighted(1, now, g));
  const int64_t last = now - 33 * kMs;
  // Silence: the highlight ends after the highlight time, the speaker after the clear time.
  for (; now < last + 4100 * kMs; now += 33 * kMs) {
    t.refresh(now, people, g);
    EXPECT_EQ(t.isHighlighted(1, now, g), now - last <= 2000 * kMs);
    EXPECT_EQ(t.activeSpeaker(), now - last <= 4000 * kMs ? 1 : -1) << (now - last) / kMs;
  }
}

TEST(SpeakerTracker, PeopleTalkingInQuickTurnsDoNotFlap) {
  const VoiceGeometry g = room360();  // dwell = highlight time = 2 s
  const std::vector<LayoutPerson> people = {person(1, 350), person(2, 2000)};
  SpeakerTracker t;
  std::vector<int64_t> switches;
  int active = -1;
  for (int64_t now = 0; now < 20'000 * kMs; now += 33 * kMs) {
    const bool first = (now / (900 * kMs)) % 2 == 0;  // turns of 0.9 s
    t.addSample(true, angleAt(first ? 500 : 2150), now, people, g);
    t.refresh(now, people, g);
    if (t.activeSpeaker() != active) {
      active = t.activeSpeaker();
      switches.push_back(now);
    }
  }
  ASSERT_GE(switches.size(), 2u);
  for (size_t i = 2; i < switches.size(); ++i) {
    EXPECT_GE(switches[i] - switches[i - 1], 2000 * kMs) << i;
  }
}

TEST(SpeakerTracker, AClearTakeOverHappensAfterTheDwell) {
  const VoiceGeometry g = room360();
  const std::vector<LayoutPerson> people = {person(1, 350), person(2, 2000)};
  SpeakerTracker t;
  int64_t now = 0;
  for (; now < 3000 * kMs; now += 33 * kMs) t.addSample(true, angleAt(500), now, people, g);
  ASSERT_EQ(t.activeSpeaker(), 1);
  const int64_t start = now;
  while (t.activeSpeaker() == 1 && now < start + 5000 * kMs) {
    t.addSample(true, angleAt(2150), now, people, g);
    t.refresh(now, people, g);
    now += 33 * kMs;
  }
  EXPECT_EQ(t.activeSpeaker(), 2);
  EXPECT_LE(now - start, 500 * kMs);  // confirmation only: person 1 held it long enough
}

TEST(SpeakerModes, FollowTheSpeakerAndFallBackToAGroupShot) {
  Harness h;
  h.engine.SetLayoutMode(9);
  h.engine.EnableBeamforming(true);
  h.setting.SetBeamformingHighlightTime(1500);
  h.setting.SetSpeakerClearTime(3000);
  h.untracked = {box(300, 400, 300, 320, 1), box(1000, 420, 300, 320, 2)};
  const Frame group = h.run(30);
  ASSERT_EQ(group.main[0].size(), 1u);  // nobody speaks: everyone in one shot
  EXPECT_EQ(group.main[0][0].src.id, -1);
  static const int towardsTwo = angleAt(1150);
  h.voice_angle = &towardsTwo;
  const Frame speaking = h.run(30);
  ASSERT_EQ(speaking.main[1].size(), 1u);
  EXPECT_EQ(speaking.main[1][0].src.id, 2);
  EXPECT_EQ(speaking.main[1][0].dst.width, 1280);
  h.voice_angle = nullptr;
  h.run(100);  // beyond the clear time
  EXPECT_EQ(h.frame().main[0][0].src.id, -1);
}

// Both speaker modes frame the person the voice comes from with Mirror on and with the panorama
// turned, the people and the voice given in the camera's own picture.
TEST(SpeakerModes, FrameTheSpeakerInEveryMirrorAndTurn) {
  struct Case {
    bool mirror;
    int offset;
  };
  const Case views[] = {{false, 0},  {true, 0},    {false, 700}, {false, 3000},
                        {true, 700}, {true, 3000}, {true, 1900}};
  // Stored boxes of three people; the voice points at the middle of each in turn.
  const std::vector<rect> people = {box(300, 400, 300, 320, 1), box(1500, 420, 300, 320, 2),
                                    box(2800, 400, 300, 320, 3)};
  for (int mode : {5, 9}) {
    for (const Case& view : views) {
      for (const rect& speaker : people) {
        const int angle = angleAt(speaker.x + speaker.width / 2);
        Harness h;
        h.engine.SetLayoutMode(mode);
        h.engine.EnableBeamforming(true);
        h.engine.SetMirror(view.mirror);
        h.offset = view.offset;
        h.untracked = people;
        h.voice_angle = &angle;
        const Frame f = h.run(60);
        ASSERT_FALSE(f.main[1].empty())
            << "mode " << mode << " mirror " << view.mirror << " offset " << view.offset;
        EXPECT_EQ(f.main[1][0].src.id, speaker.id)
            << "mode " << mode << " mirror " << view.mirror << " offset " << view.offset;
      }
    }
  }
}

TEST(SpeakerModes, SpeakerModeShowsRecentSpeakersBeside) {
  Harness h;
  h.engine.SetLayoutMode(5);
  h.engine.EnableBeamforming(true);
  h.setting.SetBeamformingHighlightTime(500);
  h.untracked = {box(300, 400, 300, 320, 1), box(1500, 420, 300, 320, 2),
                 box(2800, 400, 300, 320, 3)};
  static const int one = angleAt(450);
  static const int three = angleAt(2950);
  h.voice_angle = &one;
  h.run(40);
  h.voice_angle = &three;
  const Frame f = h.run(40);
  ASSERT_EQ(f.main[1].size(), 2u);
  EXPECT_EQ(f.main[1][0].src.id, 3);  // the speaker, large, edges lit
  EXPECT_EQ(f.main[1][0].edge_flags, 15u);
  EXPECT_EQ(f.main[1][1].src.id, 1);  // who spoke before, beside
  EXPECT_GT(f.main[1][0].dst.width, f.main[1][1].dst.width);
  // The control view marks the speaker.
  bool marked = false;
  for (const roi_pair& p : f.borders) {
    if (p.dst.id == 3)
      marked = p.subwindow_type == 2 && (p.icon_flags & selvo::ROI_ICON_VOICE_INDICATOR);
  }
  EXPECT_TRUE(marked);
}

TEST(SpeakerModes, ASpeakerSwitchCutsUnlessTransitionsAreAlways) {
  for (bool always : {false, true}) {
    Harness h;
    h.engine.SetLayoutMode(9);
    h.engine.EnableBeamforming(true);
    h.setting.SetSpeakerModeTransitionAlways(always);
    h.setting.SetTransitionFrameCount(10);
    h.untracked = {box(300, 400, 300, 320, 1), box(1500, 420, 300, 320, 2)};
    static const int one = angleAt(450);
    static const int two = angleAt(1650);
    h.voice_angle = &one;
    const float first = h.run(120).main[1][0].src.x;
    h.voice_angle = &two;
    float x = first;
    int frames = 0;
    while (frames < 200) {
      const Frame f = h.frame();
      ++frames;
      if (!f.main[1].empty() && f.main[1][0].src.id == 2) {
        x = f.main[1][0].src.x;
        break;
      }
    }
    const float target = h.run(30).main[1][0].src.x;
    if (always) {
      EXPECT_LT(x, target);  // on its way
    } else {
      EXPECT_EQ(x, target);  // one cut
    }
  }
}
