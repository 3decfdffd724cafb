#pragma once

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "main/MouseState.h"
#include "main/RoiEditor.h"

namespace corvane {

// Adapts the mouse on the main window's content to the ROI editor: presses, drags, releases,
// moves and the pointer leaving the preview become frame points for the editor, and the
// editor's cursor and tool tip are applied to the preview. Qt keeps the implicit grab while a
// button is down and sends no leave event then, so a drag that leaves the preview completes
// there as leaving it would.
class PreviewMouseAdaptor : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    // Fills the editor's context from the window's state before each event.
    std::function<void()> refreshContext;
    // A press on the "powered by" badge (while it is shown).
    std::function<void()> menuWebsite;
    // A right press inside the preview, at a frame point and a global position.
    std::function<void(RoiEditor::Point, QPoint)> rightMouseDown;
    // Whether the preview's window is the program's main window.
    std::function<bool()> isMainWindow;
    // A left double click inside the preview; true when the window took it.
    std::function<bool()> doubleClicked;
  };

  PreviewMouseAdaptor(QWidget* contentView, QWidget* controlView, QWidget* powerbyImage,
                      RoiEditor& editor, Hooks hooks, QObject* parent = nullptr);

  // A point of the content view as a frame point: inside the preview, times the multiples.
  // None outside the preview unless `anywhere`.
  std::optional<RoiEditor::Point> framePoint(QPointF inContent, bool anywhere = false) const;
  // A point beside the preview (left or right of it, within its rows) as the frame point on the
  // nearer side edge at the same height: a drag out sideways goes on along that edge. None
  // elsewhere.
  std::optional<RoiEditor::Point> besidePoint(QPointF inContent) const;

  // The cursor of a state: the arrow for none and noDraw, otherwise the state's picture.
  static QCursor cursorFor(MouseState state);
  void applyCursor(MouseState state);
  void applyToolTip(const std::string& key);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void refresh();

  QPointer<QWidget> contentView_, controlView_, powerbyImage_;
  RoiEditor& editor_;
  Hooks hooks_;
  // A left press inside the preview whose gesture has not ended yet.
  bool dragging_ = false;
};

}  // namespace corvane
