#pragma once

#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "controlboard/DisplayModeRules.h"

namespace corvane {

class CameraManager;
class ConfigManager;
class CustomButton;

// The compact board of the simple layout: one row of display-mode buttons, three to a page,
// with previous and next buttons, standing upright in the narrow column of that layout, and the
// button back to the full window. It only writes the camera manager's display mode; the
// listeners of that value carry the change on.
class SmallControlBoardController : public QWidget {
  Q_OBJECT

 public:
  struct Environment {
    CameraManager* camera = nullptr;  // none: the shared one
    ConfigManager* config = nullptr;  // none: the shared one
    // The text of a localisation key; none: the current language's table.
    std::function<std::string(const std::string&)> localized;
  };

  static constexpr int kButtonSide = 30;
  static constexpr int kArrowHeight = 10;
  static constexpr int kFullWindowWidth = 16;
  static constexpr int kPrevWidth = 11;
  static constexpr int kNextWidth = 14;
  // Room the focus ring (its gap and its line) takes round a control.
  static constexpr int kRingRoom = 4;
  // Above the top row and below the next arrow, in the 128-point column.
  static constexpr int kEdgeRoom = 6;

  explicit SmallControlBoardController(QWidget* parent = nullptr);
  explicit SmallControlBoardController(Environment environment, QWidget* parent = nullptr);

  void viewDidLoad();
  void initlayout();
  void setupDisplayModes();
  void buildDisplayModeButtons();
  void refreshDisplayModeButtons();
  void observeConnectMode();
  void setupDefaultMode();
  void shouldAudioFit(bool fit);
  void showSimpleUI(bool show);
  void onClickPrev();
  void onClickNext();
  void buttonPressed(CustomButton* sender);
  void onSwitchAudioFit();
  void onSwitchBodyFit();
  // The way back from the simple layout: runs `fullWindowAction`.
  void onClickFullWindow();

  QVBoxLayout* displayStackView0 = nullptr;
  CustomButton* preButton = nullptr;
  CustomButton* nextButton = nullptr;
  // At the start of the top row, before the previous-page arrow (whose place stays, shown or
  // not).
  CustomButton* fullWindowButton = nullptr;
  // Set by the owner: brings the full window back.
  std::function<void()> fullWindowAction;

  const std::vector<int>& displayModeArray() const { return displayModeArray_; }
  const std::vector<CustomButton*>& displayModeButtons() const { return displayModeButtons_; }
  // The buttons of the page shown, in order.
  std::vector<CustomButton*> visibleButtons() const;
  bool audioFit() const { return shouldAudioFit_; }
  int currentPageIndex() const { return currentPageIndex_; }
  int perPageCount() const { return perPageCount_; }
  int maxPage() const { return maxPage_; }

 private:
  bool connected() const;
  DisplayModeRules::Offer offer() const;
  std::string text(const std::string& key) const;
  void applyLook(CustomButton* button, const DisplayModeRules::ButtonLook& look);
  void localizeFullWindowButton();
  void markSelected(CustomButton* button, bool selected);

  Environment env_;
  CameraManager& camera_;
  ConfigManager& config_;
  std::vector<int> displayModeArray_;
  std::vector<CustomButton*> displayModeButtons_;
  bool shouldAudioFit_ = false;
  int currentPageIndex_ = 0;
  int perPageCount_ = 3;
  int maxPage_ = 0;
  bool loaded_ = false;
};

}  // namespace corvane
