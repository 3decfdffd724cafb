#pragma once

#include <QPixmap>
#include <QWidget>

namespace corvane {

// A picture in a view, shrunk to fit and centred, with an alpha its owner can animate
// (property "alphaValue").
class ImageView : public QWidget {
  Q_OBJECT
  Q_PROPERTY(double alphaValue READ alphaValue WRITE setAlphaValue)

 public:
  explicit ImageView(const QRect& frame = QRect(), QWidget* parent = nullptr);

  QPixmap image() const { return image_; }
  void setImage(const QPixmap& image);
  double alphaValue() const { return alpha_; }
  void setAlphaValue(double alpha);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap image_;
  double alpha_ = 1.0;
};

}  // namespace corvane
