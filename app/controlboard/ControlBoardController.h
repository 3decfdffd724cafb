#pragma once

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "camera/Display.h"
#include "controlboard/DisplayModeRules.h"
#include "controlboard/FlickerMode.h"
#include "controlboard/PresetSaveNotice.h"
#include "dispatch/Clock.h"

namespace platform {
class UserDefaults;
}  // namespace platform

namespace corvane {

class BreathingLightView;
class CameraManager;
class ConfigManager;
class ControlBoardViewModel;
class CustomBalanceSlider;
class CustomBox;
class CustomButton;
class CustomSwitch;
class CustomView;
class ImageView;
class LayoutView;
class MetalManager;

// The control board beside the preview: four foldable panels (navigator, control, display
// modes, picture effects) stacked in contentStackView. It keeps no state of its own beyond what
// it shows: switches and buttons write into the camera manager's and the view model's
// observables, and the board redraws itself from their listeners. Everything runs on the main
// thread; delayed steps are main-queue work on the clock seam and end with the board.
class ControlBoardController : public QWidget {
  Q_OBJECT

 public:
  // What the board works with; the program's board takes the process's own.
  struct Environment {
    CameraManager* camera = nullptr;
    ControlBoardViewModel* viewModel = nullptr;
    ConfigManager* config = nullptr;
    MetalManager* metal = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::Clock* clock = nullptr;
    // The text of a localisation key; none: the current language's table.
    std::function<std::string(const std::string&)> localized;
    // Whether to make the navigator's composing view (the program's board does).
    bool makeMetalView = true;
    // Tells the user a change that could not be kept; none: the program's alert.
    std::function<void(const QString&)> showFailure;

    static Environment process();
  };

  explicit ControlBoardController(Environment environment = Environment::process(),
                                  QWidget* parent = nullptr);
  ~ControlBoardController() override;

  // ---- lifecycle ----
  void viewDidLoad();
  void viewWillAppear();
  void viewDidAppear();
  void initlayout();
  void bindViewModel();
  void localize();

  // ---- display modes ----
  void setupDisplayModes();
  void refreshDisplayModeButtons();
  void selectDefaultDisplayMode();
  void buttonPressed(CustomButton* sender);
  void onClickSplitButton();
  // The window switched into (true) or out of its simple layout: the selection is redrawn.
  void showSimpleUI(bool show);
  // 0.1 s later, on the main queue, publishes the board's frame into the view model.
  void refreshLater();

  // ---- picture controls and presets ----
  double setEV(double value);
  double setLighting(double value);
  double setNR(double value);
  double setGamma(double value);
  void reloadPresetList();
  void applyPreset(int64_t index);
  void saveCustomPreset();
  void onClickPresetPullDown();
  void onClickFlickerEvent(CustomButton* sender);
  void onClickResetButton();
  FlickerMode flickerMode() const { return flickerMode_; }
  void setFlickerMode(FlickerMode mode);
  // The handlers the sliders call while dragged and when released (position 0..1).
  void evSliderChanged(float p);
  void evSliderCompleted(float p);
  void lightingSliderChanged(float p);
  void lightingSliderCompleted(float p);
  void nrSliderChanged(float p);
  void nrSliderCompleted(float p);
  void gammaSliderChanged(float p);
  void gammaSliderCompleted(float p);
  // Return in one of the four value fields: a readable value within the control's range is
  // applied, anything else puts the value in force back; false for any other field.
  bool valueFieldReturn(QLineEdit* field);

  // ---- panels, switches and buttons ----
  void onClickNavigatorMoreButton();
  void onClickControlMoreButton();
  void onClickDisplayMoreButton();
  void onClickEffectMoreButton();
  void onClickFaceAutoDetect();
  void onClickFaceAutoTrack();
  void onSwitchAutoDetect();
  void onClickAutoTracking();
  void onSwitchMirror();
  void onClickIgnoreButton();
  void onClickIgnoreShowButton();
  // The outline toggles and "Show": lit states, tool tips and whether "Show" stands; the ignore
  // areas are counted again when `countIgnoreAreas`.
  void refreshBorderButtons(bool countIgnoreAreas);
  void onClickRoiButton0();
  void onClickRoiButton1();
  void onClickRoiButton2();
  void startAutoDetectAnimation();
  void stopAutoDetecttAnimation();
  void ignoreViewEntered();
  void ignoreViewExited();

  bool shouldAudioFit = false;

  // ---- what the board shows (its outlets) ----
  QWidget* contentView = nullptr;
  QVBoxLayout* contentStackView = nullptr;
  QWidget* navigatorView = nullptr;
  CustomView* navigatorTitleView = nullptr;
  QLabel* navigatorTitleLabel = nullptr;
  CustomButton* navigatorMoreButton = nullptr;
  CustomButton* splitButton = nullptr;
  CustomBox* navigatorBox = nullptr;
  QLabel* controlTitleLabel = nullptr;
  CustomButton* controlMoreButton = nullptr;
  CustomBox* controlBox = nullptr;
  QWidget* autoDetectView0 = nullptr;
  QWidget* autoDetectView1 = nullptr;
  QWidget* autoTrackView = nullptr;
  ImageView* faceAutoDetectImage = nullptr;
  CustomButton* faceAutoDetectButton = nullptr;
  CustomButton* faceAutoTrackButton = nullptr;
  BreathingLightView* breathingLightView = nullptr;
  QLabel* autoDetectLabel = nullptr;
  QLabel* mirrorLabel = nullptr;
  CustomButton* autoTrackingButton = nullptr;
  QLabel* autoTrackingLabel = nullptr;
  CustomSwitch* autoDetectSwitch = nullptr;
  CustomView* ignoreButtonView = nullptr;
  CustomButton* ignoreButton = nullptr;
  CustomButton* ignoreShowButton = nullptr;
  QLabel* ignoreLabel = nullptr;
  CustomSwitch* mirrorSwitch = nullptr;
  std::array<CustomButton*, 3> roiButtons{};
  QLabel* displayTitleLabel = nullptr;
  CustomButton* displayMoreButton = nullptr;
  CustomBox* displayModeBox = nullptr;
  std::array<QWidget*, DisplayModeRules::kRowCount> displayStackViews{};
  QLabel* effectLabel = nullptr;
  QComboBox* pullDownButton = nullptr;
  CustomButton* effectMoreButton = nullptr;
  CustomBox* effectBox = nullptr;
  CustomButton* effectResetButton = nullptr;
  QLabel* evLabel = nullptr;
  CustomBalanceSlider* evSlider = nullptr;
  QLineEdit* evTextField = nullptr;
  QLabel* flickerLabel = nullptr;
  QWidget* flickerStackView = nullptr;
  CustomButton* flickerAutoButton = nullptr;
  CustomButton* flicker50Button = nullptr;
  CustomButton* flicker60Button = nullptr;
  QLabel* lightingLabel = nullptr;
  CustomBalanceSlider* lightingSlider = nullptr;
  QLineEdit* lightingTextField = nullptr;
  QLabel* nrLabel = nullptr;
  CustomBalanceSlider* nrSlider = nullptr;
  QLineEdit* nrTextField = nullptr;
  QLabel* gammaLabel = nullptr;
  CustomBalanceSlider* gammaSlider = nullptr;
  QLineEdit* gammaTextField = nullptr;
  QWidget* cameraEffectStackView = nullptr;
  // The navigator's composing view: the composed output while the split window is off.
  LayoutView* metalView = nullptr;

  // The row layout of display-mode row i (0..4).
  QHBoxLayout* displayStackView(int row) const;
  const std::vector<int>& displayModeArray() const { return displayModeArray_; }
  const std::vector<CustomButton*>& displayModeButtons() const { return displayModeButtons_; }
  QLabel* autoDetectAnimationLayer() const { return autoDetectAnimationLayer_; }
  std::optional<platform::Clock::TimePoint> faceAutoDetectImageStart() const {
    return faceAutoDetectImageStart_;
  }
  bool isIgnoreShow() const { return isIgnoreShow_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildViews();
  QWidget* buildNavigatorPanel();
  QWidget* buildControlPanel();
  QWidget* buildDisplayPanel();
  QWidget* buildEffectPanel();
  bool connected() const;
  std::string text(const std::string& key) const;
  DisplayModeRules::Offer offer() const;
  void applyButtonLook(CustomButton* button, const DisplayModeRules::ButtonLook& look);
  void markSelected(CustomButton* button, bool selected);
  void setButtonUsable(CustomButton* button, bool usable);
  void enableFaceButtons(bool enabled);
  void enableAutoDetectGroup(bool enabled);
  void onDisplayModeChanged(Display mode);
  void onConnectModeChanged(bool isConnected);
  void onSplitWindowChanged(bool split);
  void flashBreathingLight();
  void foldPanel(CustomButton* button, QWidget* box);
  void setPanelVisible(QWidget* panel, bool visible);
  void showRoundedValue(CustomBalanceSlider* slider, QLineEdit* field, double ratio,
                        const QString& text);
  double setWholeValue(double value, double min, double max, CustomBalanceSlider* slider,
                       QLineEdit* field);
  // A value field's number as the control takes it (its range, the locale's separator).
  std::optional<double> fieldValue(QLineEdit* field) const;
  // Applies a value field, or puts the value in force back when it cannot be read.
  bool applyField(QLineEdit* field);
  // A field left (focus gone): applied when its text changed.
  void settleField(QLineEdit* field);
  std::optional<size_t> selectedPresetIndex() const;
  bool customPresetSelected() const;
  void selectCustomPreset();
  void fitFaceButtonTitles();
  void endFaceScan(bool forMode);
  // Runs `task` on the main queue after `seconds` on the clock, while the board exists.
  void later(double seconds, std::function<void()> task);
  void applyEffectVisibility();

  Environment env_;
  CameraManager& camera_;
  ControlBoardViewModel& viewModel_;
  ConfigManager& config_;
  MetalManager& metal_;
  platform::UserDefaults& defaults_;
  platform::Clock& clock_;
  PresetSaveNotice presetSaveNotice_;

  std::vector<int> displayModeArray_;
  std::vector<CustomButton*> displayModeButtons_;
  FlickerMode flickerMode_ = FlickerMode::automatic;
  QPointer<QLabel> autoDetectAnimationLayer_;
  std::optional<platform::Clock::TimePoint> faceAutoDetectImageStart_;  // on the monotonic clock
  bool isIgnoreShow_ = true;
  long ignoreAreaCount_ = 0;  // as the facade counted them at the last edit-mode change
  bool loaded_ = false;
  // Set while the board fills the pull-down, so that filling it is no user choice.
  bool fillingPresets_ = false;
  // The text each value field was last given: the value in force.
  std::map<QLineEdit*, QString> shownText_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
