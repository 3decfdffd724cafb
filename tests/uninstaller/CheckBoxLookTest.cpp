#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>

#include "CustomButton.h"

using uninstaller::CustomButton;

namespace {

QImage paint(CustomButton& box) {
  QImage image(box.size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  box.render(&image);
  return image;
}

QColor centre(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

void hover(CustomButton& box, bool in) {
  if (in) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&box, &enter);
  } else {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&box, &leave);
  }
}

}  // namespace

TEST(CheckBoxLook, EachStateHasItsOwnLook) {
  CustomButton box;
  // Enabled: selected shows the active border and the tick, unselected the plain border and
  // no tick; hover has colours of its own, unlike either.
  auto plain = box.lookFor(true, false, false);
  auto selected = box.lookFor(true, true, false);
  auto hovered = box.lookFor(true, false, true);
  auto disabled = box.lookFor(false, true, false);
  EXPECT_FALSE(plain.tick);
  EXPECT_TRUE(selected.tick);
  EXPECT_NE(plain.border, selected.border);
  EXPECT_NE(hovered.border, selected.border);
  EXPECT_NE(hovered.border, plain.border);
  EXPECT_NE(hovered.fill, plain.fill);
  EXPECT_EQ(plain.opacity, 1.0);
  EXPECT_EQ(disabled.opacity, 0.3);
  EXPECT_EQ(disabled.border, disabled.text);  // both take the pale disabled colour
  EXPECT_EQ(disabled.border, QColor(0xd9, 0xd9, 0xd9));
}

TEST(CheckBoxLook, PaintedPixelsTellSelectedUnselectedAndHoverApart) {
  CustomButton box;
  box.setFixedSize(20, 20);
  QImage unselected = paint(box);
  box.setSelected(true);  // not shown: no animation, the end colour at once
  QImage selected = paint(box);
  hover(box, true);
  QImage hoveredSelected = paint(box);
  hover(box, false);
  box.setSelected(false);
  hover(box, true);
  QImage hoveredPlain = paint(box);

  // The selected image fills the box in the active colour; unselected stays white.
  EXPECT_EQ(centre(unselected), QColor(Qt::white));
  EXPECT_NE(centre(selected), QColor(Qt::white));
  EXPECT_NE(unselected, selected);
  // Hover is a light fill of its own, with or without the tick, never the selected look.
  EXPECT_NE(hoveredPlain, selected);
  EXPECT_NE(hoveredPlain, unselected);
  EXPECT_NE(hoveredSelected, selected);
  EXPECT_NE(hoveredSelected, hoveredPlain);
  // The border of the unselected box is the plain border colour.
  EXPECT_EQ(unselected.pixelColor(10, 0).rgb() != QColor(Qt::white).rgb(), true);
}

TEST(CheckBoxLook, AShownBoxEasesItsBorderInsteadOfJumping) {
  CustomButton box;
  box.setFixedSize(20, 20);
  box.show();
  QColor from = box.currentBorder();
  box.setSelected(true);
  // The animation has only started: the border still shows where it comes from.
  EXPECT_EQ(box.currentBorder(), from);
  EXPECT_NE(from, box.lookFor(true, true, false).border);
}
