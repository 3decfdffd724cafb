#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/RectPoint.h"
#include "shell/LanguagePopUpButton.h"
#include "shell/SettingState.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/ImageView.h"

namespace platform {
class UserDefaults;
class Workspace;
}  // namespace platform

namespace corvane {

class AlertManager;
class AnalysisFacade;
class ConfigManager;
class LanguageManager;

// The settings popup of the main window, three panes chosen by tab buttons: the language (the
// program starts again to apply it), an information pane on gesture control, and the ROI record the
// camera restores when it starts, previewed as its thumbnail with its frames drawn over it.
class SettingViewController : public QWidget {
  Q_OBJECT

 public:
  struct Environment {
    LanguageManager* languages = nullptr;
    platform::UserDefaults* defaults = nullptr;
    AlertManager* alerts = nullptr;  // none: the program's, asked for on first use
    ConfigManager* config = nullptr;
    // The camera manager's analysis facade, made (with its observers) when it has none.
    std::function<std::shared_ptr<AnalysisFacade>()> facade;
    // Restores the ROI record the settings name into the facade.
    std::function<void()> loadRoiRecord;
    // The thumbnails' folder, <caches>/<executable>/thumbnail; none without a caches folder.
    std::function<std::optional<std::string>()> thumbnailFolder;
    platform::Workspace* workspace = nullptr;  // starts the program again
    // What the program starts again with; none: the arguments of this start.
    std::function<std::vector<std::string>()> relaunchArguments;
    std::function<void()> terminate;  // ends the program
    static Environment process();
  };

  explicit SettingViewController(Environment environment, QWidget* parent = nullptr);

  void onClickLanguage() { selectState(SettingState::Language); }
  void onClickGesture() { selectState(SettingState::Gesture); }
  void onClickRoi() { selectState(SettingState::Roi); }
  void onClickLanguageOk();
  void onClickRoiPullDownButton();
  void onClickRoiOk() { applyRoiRecord(); }
  void onClickClose();
  // The language pop-up and the gesture buttons have no action of their own.
  void onClickLanguagePullDownButton() {}
  void onClickGestureCUseButton() {}
  void onClickGestureCPriorityButton() {}

  void selectState(SettingState state);
  void setupLanguageList();
  void setupRoiList();
  void showRoiPreview(int index);
  void drawRoiRects();
  void applyRoiRecord();
  // Centres a window of its own, rounds it, and previews the selected record again.
  void viewWillAppear();

  SettingState currentState = SettingState::Language;
  std::function<void()> closeAction;
  std::vector<RectPoint> roiRecord;

  CustomView* backgroundView() const { return backgroundView_; }
  QLabel* titleLabel() const { return titleLabel_; }
  CustomButton* languageButton() const { return languageButton_; }
  CustomButton* gestureButton() const { return gestureButton_; }
  CustomButton* roiButton() const { return roiButton_; }
  CustomButton* closeButton() const { return closeButton_; }
  QWidget* languageView() const { return languageView_; }
  LanguagePopUpButton* languagePullDownButton() const { return languagePullDownButton_; }
  CustomButton* languageOkButton() const { return languageOkButton_; }
  QWidget* gestureView() const { return gestureView_; }
  QCheckBox* gestureUseButton() const { return gestureUseButton_; }
  QCheckBox* gesturePriorityButton() const { return gesturePriorityButton_; }
  QWidget* roiView() const { return roiView_; }
  QComboBox* roiPullDownButton() const { return roiPullDownButton_; }
  QLabel* roiDescLabel() const { return roiDescLabel_; }
  CustomButton* roiOkButton() const { return roiOkButton_; }
  ImageView* roiImageView() const { return roiImageView_; }
  ImageView* roiRectImageView() const { return roiRectImageView_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void viewDidLoad();
  void setupTexts();
  void buildLanguageView();
  void buildGestureView();
  void buildRoiView();

  Environment env_;
  QPointer<CustomView> backgroundView_;
  QPointer<QLabel> titleLabel_;
  QPointer<CustomButton> languageButton_;
  QPointer<CustomButton> gestureButton_;
  QPointer<CustomButton> roiButton_;
  QPointer<CustomButton> closeButton_;
  QPointer<QWidget> languageView_;
  QPointer<LanguagePopUpButton> languagePullDownButton_;
  QPointer<CustomButton> languageOkButton_;
  QPointer<QWidget> gestureView_;
  QPointer<QCheckBox> gestureUseButton_;
  QPointer<QLabel> gestureUseTitleLabel_;
  QPointer<QLabel> gestureUseDescLabel_;
  QPointer<QCheckBox> gesturePriorityButton_;
  QPointer<QLabel> gesturePriorityTitleLabel_;
  QPointer<QLabel> gesturePriorityDescLabel_;
  QPointer<ImageView> gestureImageView_;
  QPointer<QWidget> roiView_;
  QPointer<QComboBox> roiPullDownButton_;
  QPointer<QLabel> roiDescLabel_;
  QPointer<CustomButton> roiOkButton_;
  QPointer<ImageView> roiImageView_;
  QPointer<ImageView> roiRectImageView_;
};

}  // namespace corvane
