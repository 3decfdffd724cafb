#pragma once

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "controlboard/EditMode.h"

namespace corvane {

// What Escape does in the main window: the popup on top closes as its own Cancel (or close)
// would; with none open, an open edit of the preview (the ignore areas, the field of view) is
// cancelled as its Cancel button does; otherwise the key does nothing.
class EscapeKey {
 public:
  // A popup as the decision sees it: whether it shows, and its place in the stack of its
  // siblings (higher lies above).
  struct Popup {
    bool open = false;
    int stackIndex = 0;
  };
  struct Action {
    enum class Kind { none, closePopup, cancelEdit };
    Kind kind = Kind::none;
    size_t popup = 0;  // which one, for closePopup
    bool operator==(const Action&) const = default;
  };
  static Action decide(const std::vector<Popup>& popups, EditMode mode);

  // The window's popups, each with its Cancel.
  void add(QWidget* host, std::function<void()> cancel);
  // Runs what Escape does now; the edit's Cancel is given by the window. True when it acted.
  bool press(EditMode mode, const std::function<void()>& cancelEdit) const;
  // The open popup on top, the one that holds the keys and the pointer; none when none is open.
  QWidget* top() const;

 private:
  std::vector<Popup> popups() const;

  struct Entry {
    QPointer<QWidget> host;
    std::function<void()> cancel;
  };
  std::vector<Entry> entries_;
};

}  // namespace corvane
