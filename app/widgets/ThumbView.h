#pragma once

#include <QColor>
#include <QWidget>

namespace corvane {

// The balance slider's round thumb, filled with its layer colour.
class ThumbView : public QWidget {
  Q_OBJECT

 public:
  explicit ThumbView(QWidget* parent = nullptr);

  QColor layerBackgroundColor() const { return fill_; }
  void setLayerBackgroundColor(const QColor& c);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
};

}  // namespace corvane
