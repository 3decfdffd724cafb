#include <gtest/gtest.h>

#include <map>

#include "LayoutScenes.h"

using namespace layouttest;

// Golden plans: the meeting room laid out in every mode after two seconds. The expected text was
// reviewed by hand when the plans were made (shots contain their people, bands keep the output's
// aspect, ids and icons follow the people); a change here is a change of what users see.
namespace {

const std::map<int, std::string> kGolden = {
    {0, R"(main 1
src 0,224 3840x642 #-1 dst 0,0 1280x214 #-1 e0 i0 t-1
main 2
src 268,267 384x607 #1 dst 0,214 320x506 #1 e0 i1024 t-1
src 1168,287 384x607 #2 dst 320,214 320x506 #2 e0 i0 t-1
src 2066,240 408x645 #3 dst 640,214 320x506 #3 e0 i0 t-1
src 2968,277 384x607 #4 dst 960,214 320x506 #4 e0 i0 t-1
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {1, R"(main 1
src 1440,405 960x540 #50 dst 0,0 1280x720 #50 e0 i0 t-1
main 2
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 1440,405 960x540 #50 dst 480,135 320x180 #50 e15 i8 t11
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {2, R"(main 1
src 0,270 1920x540 #-1 dst 0,0 1280x360 #-1 e0 i0 t-1
src 1920,270 1920x540 #-1 dst 0,360 1280x360 #-1 e0 i0 t-1
main 2
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {3, R"(main 1
main 2
src 33,324 853x480 #1 dst 0,0 640x360 #1 e0 i1024 t-1
src 933,344 853x480 #2 dst 640,0 640x360 #2 e0 i0 t-1
src 1817,301 907x510 #3 dst 0,360 640x360 #3 e0 i0 t-1
src 2733,334 853x480 #4 dst 640,360 640x360 #4 e0 i0 t-1
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {5, R"(main 1
main 2
src 33,324 853x480 #1 dst 0,0 1280x720 #1 e0 i2052 t-1
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i260 t2
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {6, R"(main 1
src 3,321 1813x510 #-1 dst 0,0 1280x360 #-1 e0 i0 t-1
src 1777,299 1867x525 #-1 dst 0,360 1280x360 #-1 e0 i0 t-1
main 2
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {7, R"(main 1
src 1500,300 800x450 #51 dst 0,0 1280x720 #51 e0 i0 t-1
main 2
main 3
src 1817,301 907x510 #3 dst 1004,556 256x144 #3 e0 i0 t-1
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 1500,300 800x450 #51 dst 500,100 267x150 #51 e15 i8 t12
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {8, R"(main 1
src 0,0 3840x1080 #-1 dst 0,180 1280x360 #-1 e0 i0 t-1
main 2
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i128 t1
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
    {9, R"(main 1
main 2
src 33,324 853x480 #1 dst 0,0 1280x720 #1 e0 i2052 t-1
main 3
tiles
src 0,0 3840x1080 #-1 dst 0,0 1280x360 #-1 e0 i0 t1
borders
src 300,380 320x320 #1 dst 100,127 107x107 #1 e15 i260 t2
src 2100,360 340x340 #3 dst 700,120 113x113 #3 e15 i0 t1
src 1200,400 320x320 #2 dst 400,133 107x107 #2 e15 i0 t0
src 3000,390 320x320 #4 dst 1000,130 107x107 #4 e15 i0 t0
)"},
};

}  // namespace

TEST(LayoutGolden, EveryModeOnA360Camera) {
  for (const auto& [mode, expected] : kGolden) {
    Harness h;
    seatMeeting(h, mode);
    EXPECT_EQ(plan(h.run(60)), expected) << "mode " << mode;
  }
}

TEST(LayoutGolden, ComposeOnA180CameraShowsTheBanner) {
  Harness h(false, 1920, 1080);
  seatMeeting(h, 0);
  h.tracked = {box(300, 380, 320, 320, 1)};
  h.untracked = {box(1200, 400, 320, 320, 2)};
  h.engine.SetHeightOffsetFor180Video(300);
  EXPECT_EQ(plan(h.run(60)), R"(main 1
src 3,336 1914x320 #-1 dst 0,0 1280x214 #-1 e0 i0 t-1
main 2
src 156,324 607x480 #1 dst 0,214 640x506 #1 e0 i1024 t-1
src 1056,344 607x480 #2 dst 640,214 640x506 #2 e0 i0 t-1
main 3
tiles
src 0,0 1920x1080 #-1 dst 0,0 1280x720 #-1 e0 i0 t1
borders
src 0,300 1920x320 #-1 dst 0,200 1280x213 #-1 e15 i16 t0
src 300,380 320x320 #1 dst 200,253 213x213 #1 e15 i128 t1
src 1200,400 320x320 #2 dst 800,267 213x213 #2 e15 i0 t0
)");
}

TEST(LayoutGolden, GridMirroredWithAContentOffset) {
  Harness h;
  seatMeeting(h, 3);
  h.engine.SetMirror(true);
  h.offset = 1000;
  EXPECT_EQ(plan(h.run(60)), R"(main 1
main 2
src 2953,324 853x480 #1 dst 0,0 640x360 #1 e0 i1024 t-1
src 253,334 853x480 #4 dst 640,0 640x360 #4 e0 i0 t-1
src 1117,301 907x510 #3 dst 0,360 640x360 #3 e0 i0 t-1
src 2053,344 853x480 #2 dst 640,360 640x360 #2 e0 i0 t-1
main 3
tiles
src 2840,0 1000x1080 #-1 dst 0,0 333x360 #-1 e0 i0 t1
src 0,0 2840x1080 #-1 dst 333,0 947x360 #-1 e0 i0 t1
borders
src 3220,380 320x320 #1 dst 127,127 107x107 #1 e15 i128 t1
src 1400,360 340x340 #3 dst 800,120 113x113 #3 e15 i0 t1
src 2320,400 320x320 #2 dst 1107,133 107x107 #2 e15 i0 t0
src 520,390 320x320 #4 dst 507,130 107x107 #4 e15 i0 t0
)");
}
