#include <gtest/gtest.h>

#include <QLabel>

#include "util/ImageSequenceAnimation.h"

using corvane::ImageSequenceAnimation;

namespace {

QList<QPixmap> frames(int n) {
  QList<QPixmap> list;
  for (int i = 0; i < n; ++i) {
    QPixmap p(4, 4);
    p.fill(QColor(i * 40, 0, 0));
    list.push_back(p);
  }
  return list;
}

qint64 shown(const QLabel& label) { return label.pixmap().cacheKey(); }

}  // namespace

TEST(ImageSequenceAnimation, ThreeImagesAtFactorPointFourTwoLoopWithoutEnd) {
  auto images = frames(3);
  QLabel label;
  ImageSequenceAnimation animation(images, 0.42f, &label);
  EXPECT_FLOAT_EQ(animation.duration(), 0.126f);
  EXPECT_EQ(animation.frameInterval(), 42);
  animation.start();
  EXPECT_TRUE(animation.isRunning());
  EXPECT_EQ(shown(label), images[0].cacheKey());
  for (int cycle = 0; cycle < 3; ++cycle) {
    for (int i = 1; i <= 3; ++i) {
      animation.advance();
      EXPECT_EQ(shown(label), images[i % 3].cacheKey());
    }
  }
  animation.advance();
  animation.stop();
  EXPECT_FALSE(animation.isRunning());
  EXPECT_EQ(shown(label), images[1].cacheKey());  // the image last shown stays
}

TEST(ImageSequenceAnimation, DefaultFactorEmptyListAndTheNewLabel) {
  QLabel label;
  ImageSequenceAnimation empty({}, std::nullopt, &label);
  EXPECT_FLOAT_EQ(empty.duration(), 0.0f);
  EXPECT_EQ(empty.frameInterval(), 100);
  empty.start();
  empty.advance();
  EXPECT_FALSE(empty.isRunning());
  EXPECT_TRUE(label.pixmap().isNull());

  auto images = frames(5);
  QWidget parent;
  QLabel* made =
      ImageSequenceAnimation::addImageSequenceAnimation(images, 1.0f, QRect(3, 4, 30, 20), &parent);
  EXPECT_EQ(made->parentWidget(), &parent);
  EXPECT_EQ(made->geometry(), QRect(3, 4, 30, 20));
  EXPECT_EQ(shown(*made), images[0].cacheKey());
  auto* animation = made->findChild<ImageSequenceAnimation*>();
  ASSERT_NE(animation, nullptr);
  EXPECT_TRUE(animation->isRunning());
  EXPECT_FLOAT_EQ(animation->duration(), 0.5f);
  delete made;  // takes its animation with it
}
