#include "main/EscapeKey.h"

namespace corvane {

EscapeKey::Action EscapeKey::decide(const std::vector<Popup>& popups, EditMode mode) {
  std::optional<size_t> top;
  for (size_t i = 0; i < popups.size(); ++i)
    if (popups[i].open && (!top || popups[i].stackIndex > popups[*top].stackIndex)) top = i;
  if (top) return {Action::Kind::closePopup, *top};
  if (mode != EditMode::none) return {Action::Kind::cancelEdit, 0};
  return {};
}

void EscapeKey::add(QWidget* host, std::function<void()> cancel) {
  entries_.push_back({host, std::move(cancel)});
}

std::vector<EscapeKey::Popup> EscapeKey::popups() const {
  std::vector<Popup> popups;
  for (const Entry& e : entries_) {
    QWidget* parent = e.host ? e.host->parentWidget() : nullptr;
    popups.push_back({e.host && !e.host->isHidden(),
                      parent ? int(parent->children().indexOf(e.host.data())) : 0});
  }
  return popups;
}

QWidget* EscapeKey::top() const {
  const Action action = decide(popups(), EditMode::none);
  return action.kind == Action::Kind::closePopup ? entries_[action.popup].host.data() : nullptr;
}

bool EscapeKey::press(EditMode mode, const std::function<void()>& cancelEdit) const {
  const Action action = decide(popups(), mode);
  switch (action.kind) {
    case Action::Kind::closePopup: {
      const Entry& e = entries_[action.popup];
      // Its Cancel may fade it out; a popup without one is simply hidden.
      if (e.cancel)
        e.cancel();
      else if (e.host)
        e.host->hide();
      return true;
    }
    case Action::Kind::cancelEdit:
      if (cancelEdit) cancelEdit();
      return true;
    case Action::Kind::none:
      return false;
  }
  return false;
}

}  // namespace corvane
