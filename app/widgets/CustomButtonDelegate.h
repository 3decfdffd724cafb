#pragma once

namespace corvane {

class CustomButton;

// Told when the pointer starts and stops hovering a CustomButton.
class CustomButtonDelegate {
 public:
  virtual ~CustomButtonDelegate() = default;
  virtual void customButtonDidHover(CustomButton* button) = 0;
  virtual void customButtonDidEndHover(CustomButton* button) = 0;
};

}  // namespace corvane
