#pragma once

namespace corvane {

class CustomSwitch;

// Told after every change of a CustomSwitch's state, also when the state stays the same.
class CustomSwitchDelegate {
 public:
  virtual ~CustomSwitchDelegate() = default;
  virtual void customSwitchDidChange(CustomSwitch* customSwitch) = 0;
};

}  // namespace corvane
