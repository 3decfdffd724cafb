#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "WidgetTestSupport.h"
#include "widgets/BreathingLightView.h"
#include "widgets/CustomBox.h"
#include "widgets/FormatDuration.h"
#include "widgets/ImageAssets.h"
#include "widgets/ImageView.h"
#include "widgets/ViewRouter.h"

using corvane::BreathingLightView;
using corvane::formatDuration;
using corvane::ImageView;
using corvane::ViewRouter;

namespace {

// Points the program's resources folder at the source tree for one test.
class ScopedResources {
 public:
  explicit ScopedResources(const char* dir) : old_(qgetenv("CORVANE_RESOURCES_DIR")) {
    qputenv("CORVANE_RESOURCES_DIR", dir);
  }
  ~ScopedResources() {
    if (old_.isEmpty())
      qunsetenv("CORVANE_RESOURCES_DIR");
    else
      qputenv("CORVANE_RESOURCES_DIR", old_);
  }

 private:
  QByteArray old_;
};

TEST(FormatDuration, HoursMinutesAndSeconds) {
  struct Case {
    float seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "00:00:00"},         {59.99f, "00:00:59"}, {60, "00:01:00"},    {3725.9f, "01:02:05"},
      {360000, "100:00:00"},   {86399, "23:59:59"},  {NAN, "--:--:--"},   {INFINITY, "--:--:--"},
      {-INFINITY, "--:--:--"}, {-5, "--:--:--"},     {1e30f, "--:--:--"}, {9.3e18f, "--:--:--"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatDuration(c.seconds).toStdString(), c.text) << c.seconds;
  EXPECT_FALSE(formatDuration(9.2e18f).startsWith('-')) << "the largest times still count up";
}

TEST(BreathingLightView, SettingUpTwiceLeavesTwoPicturesTheLitOneOnTopAndClear) {
  ScopedResources resources(CORVANE_SOURCE_RESOURCES_DIR);
  BreathingLightView light(QRect(0, 0, 16, 16));
  light.setupImageViews();
  light.setupImageViews();
  const auto children = light.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(children.size(), 2);
  EXPECT_EQ(children.back(), light.imageView_2()) << "the lamp-on picture lies on top";
  EXPECT_EQ(children.front(), light.imageView_1());
  EXPECT_DOUBLE_EQ(light.imageView_2()->alphaValue(), 0);
  EXPECT_DOUBLE_EQ(light.imageView_1()->alphaValue(), 1);
  EXPECT_FALSE(light.imageView_1()->image().isNull());
  EXPECT_FALSE(light.imageView_2()->image().isNull());
  EXPECT_EQ(light.imageView_2()->geometry(), QRect(0, 0, 16, 16));

  const QImage dark = light.grab().toImage();
  light.imageView_2()->setAlphaValue(1);
  const QImage lit = light.grab().toImage();
  widgettest::grabTo(&light, "breathing_light_on");
  EXPECT_GT(lit.pixelColor(8, 8).blue(), dark.pixelColor(8, 8).blue() + 50);
}

TEST(BreathingLightView, MissingPicturesLeaveEmptyViews) {
  ScopedResources resources("/nonexistent-resources");
  BreathingLightView light(QRect(0, 0, 16, 16));
  light.setupImageViews();
  EXPECT_TRUE(light.imageView_1()->image().isNull());
  light.grab();
}

TEST(CustomBox, CarriesItsTag) {
  corvane::CustomBox box;
  EXPECT_EQ(box.boxTag, 0);
  box.boxTag = 7;
  EXPECT_EQ(box.boxTag, 7);
}

TEST(ViewRouter, MakesEachControllerOnceAndKeepsIt) {
  int mainMade = 0, alertMade = 0;
  QWidget mainWidget, alertWidget;
  ViewRouter router(
      [&]() -> QWidget* {
        ++mainMade;
        return &mainWidget;
      },
      [&]() -> QWidget* {
        ++alertMade;
        return &alertWidget;
      });
  EXPECT_EQ(router.mainController(), &mainWidget);
  EXPECT_EQ(router.mainController(), &mainWidget);
  EXPECT_EQ(router.alertController(), &alertWidget);
  EXPECT_EQ(mainMade, 1);
  EXPECT_EQ(alertMade, 1);
}

TEST(ViewRouter, AMissingFactoryLeavesThatControllerNone) {
  QWidget alertWidget;
  ViewRouter router(nullptr, [&]() -> QWidget* { return &alertWidget; });
  EXPECT_EQ(router.mainController(), nullptr);
  EXPECT_EQ(router.alertController(), &alertWidget);
}

TEST(ViewRouter, SharedUsesTheFactoriesRegisteredBeforeIt) {
  static QWidget* mainWidget = new QWidget;
  ViewRouter::setFactories([] { return mainWidget; }, [] { return new QWidget; });
  ViewRouter& shared = ViewRouter::shared();
  EXPECT_EQ(&shared, &ViewRouter::shared());
  EXPECT_EQ(shared.mainController(), mainWidget);
  QWidget* alert = shared.alertController();
  ASSERT_NE(alert, nullptr);
  ViewRouter::setFactories(nullptr, nullptr);
  EXPECT_EQ(ViewRouter::shared().alertController(), alert) << "late factories change nothing";
}

}  // namespace
