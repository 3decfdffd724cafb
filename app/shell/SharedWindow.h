#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <utility>

#include "shell/SmallWindowKeys.h"
#include "shell/WindowOnScreen.h"

namespace corvane {

// A secondary window of the program: its content controller is made on the first request to
// open it and kept for the life of the program. Closing the window only hides it; opening it
// again shows the same window, in the state it was left in. Main thread only.
template <class Controller>
class SharedWindow {
 public:
  using Factory = std::function<std::unique_ptr<Controller>()>;

  explicit SharedWindow(Factory make) : make_(std::move(make)) {}

  // The window, made on first use; none when it cannot be made.
  Controller* window() {
    if (!controller_) {
      controller_ = make_();
      if (controller_) controller_->setWindowFlag(Qt::Window);
      SmallWindowKeys::install(controller_.get());
    }
    return controller_.get();
  }

  // The window in front, with the focus; on `over`'s screen when given.
  Controller* showWindow(const QWidget* over = nullptr) {
    if (!window()) return nullptr;
    WindowOnScreen::show(controller_.get(), over);
    return controller_.get();
  }

  // The window's controller; none before the first opening.
  Controller* contentViewController() const { return controller_.get(); }

 private:
  Factory make_;
  std::unique_ptr<Controller> controller_;
};

}  // namespace corvane
