#pragma once

#include <QColor>
#include <QWidget>

namespace corvane {

// A switch's round thumb: a filled disc with a thin outline.
class NSSwitchThumbView : public QWidget {
  Q_OBJECT

 public:
  explicit NSSwitchThumbView(QWidget* parent = nullptr);

  double lineWidth = 0.125;
  QColor lineColor = Qt::black;

  QColor layerBackgroundColor() const { return fill_; }
  void setLayerBackgroundColor(const QColor& c);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
};

}  // namespace corvane
