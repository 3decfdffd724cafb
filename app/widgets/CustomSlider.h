#pragma once

#include <QColor>
#include <QSlider>

namespace corvane {

// A horizontal slider drawn as a thin rounded bar, filled from the left up to the value, under
// the style's own knob.
class CustomSlider : public QSlider {
  Q_OBJECT

 public:
  explicit CustomSlider(QWidget* parent = nullptr);

  // Bar thickness; drawing keeps it within 2 to 5 and stores the kept value back.
  double lineHeight = 3.0;
  QColor lineColor;
  QColor tintColor;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace corvane
