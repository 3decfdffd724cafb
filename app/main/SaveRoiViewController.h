#pragma once

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/RectPoint.h"

namespace platform {
class UserDefaults;
}

namespace corvane {

class AnalysisFacade;
class CameraManager;
class ConfigManager;
class ControlBoardViewModel;
class CustomButton;
class CustomView;

// The popup over the main window that saves the preview's ROI layout into one of three records,
// or brings a record back, with the record's thumbnail: the panorama as it was when saved and
// the record's frames drawn over it anew each time. Main thread only.
class SaveRoiViewController : public QWidget {
  Q_OBJECT

 public:
  struct Environment {
    CameraManager* camera = nullptr;
    ControlBoardViewModel* viewModel = nullptr;
    ConfigManager* config = nullptr;
    platform::UserDefaults* defaults = nullptr;
    // The composed picture of the preview, none when no frame came yet.
    std::function<QImage()> controlPicture;
    // "<caches>/<executable name>/thumbnail"; none when there is no caches folder.
    std::function<std::optional<std::string>()> thumbnailFolder;
    // Tells the user a save failed (the program's alert).
    std::function<void(const QString&)> showFailure;
    static Environment process();
  };

  explicit SaveRoiViewController(Environment environment, QWidget* parent = nullptr);

  QPointer<CustomView> backgroundView;
  QPointer<QLabel> titleLabel;
  QPointer<QComboBox> roiPullDownButton;
  QPointer<QLabel> roiDescLabel;
  QPointer<CustomButton> roiOkButton;
  QPointer<QLabel> roiImageView;
  QPointer<QLabel> roiRectImageView;
  QPointer<CustomButton> closeButton;
  std::vector<RectPoint> roiRecord;
  int64_t thumbnailDisplayModeValue = 10;
  std::vector<RectPoint> thumbnailRoiRecord;
  std::vector<RectPoint> thumbnailFixRect;
  std::vector<RectPoint> thumbnailIgnoreRect;
  bool thumbnailMirror = false;
  std::function<void()> closeAction;
  bool isSaveState = false;

  // The opening sequence, each time the popup appears.
  void viewWillAppear();
  void onClickRoiPullDownButton();
  void onClickRoiOk();
  void onClickClose();
  void captureCurrentRecord();
  // False when the record could not be written to the settings file, with the reason in `error`.
  bool saveRecord(std::string* error = nullptr);
  std::vector<RectPoint> currentIgnoreRects() const;
  void showStoredRecord();
  void drawOverlay();
  // False when the thumbnail could not be written, with the reason in `error`.
  bool storeThumbnail(std::string* error = nullptr);

  // The pictures shown: the panorama, and the frames over it (transparent elsewhere).
  const QImage& picture() const { return picture_; }
  const QImage& overlay() const { return overlay_; }
  static constexpr QSize kPopupSize{440, 320};

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Return in the record chooser confirms, as the confirm button does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void localizeTexts();
  void layoutPictures();
  void setPicture(const QImage& image);
  std::shared_ptr<AnalysisFacade> facade() const;
  std::optional<std::string> thumbnailPath(int64_t record) const;

  Environment env_;
  QImage picture_;
  QImage overlay_;
};

}  // namespace corvane
