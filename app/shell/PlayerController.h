#pragma once

#include <QWidget>

#include "shell/SharedWindow.h"

class QLabel;

namespace corvane {

class CustomButton;
class ImageView;
class PixelBufferView;
class PlayerManager;

// The file player window: a video file or a set of pictures fed to the analysis instead of the
// camera. It opens the file and starts, pauses and steps playback through the player; its labels,
// buttons and views follow the player's observables. The video view draws the frames the player
// hands out. Main thread only.
class PlayerController : public QWidget {
 public:
  explicit PlayerController(PlayerManager& player, QWidget* parent = nullptr);
  ~PlayerController() override;

  // The program's window, over the program's player.
  static SharedWindow<PlayerController>& windowController();

  void onClickSelectFile(CustomButton* sender);
  void onClickImagePlayButton(CustomButton* sender);
  void onClickVideoPlayButton(CustomButton* sender);
  void onClickForward();
  void onClickBackward();

  PlayerManager& playerManager() const { return player_; }

  // Image mode.
  QWidget* imageView = nullptr;
  ImageView* imagePicture = nullptr;
  CustomButton* imagePlayButton = nullptr;
  QLabel* totalCountLabel = nullptr;
  QLabel* currentIndexLabel = nullptr;
  // Video mode.
  QWidget* videoView = nullptr;
  PixelBufferView* videoPicture = nullptr;
  CustomButton* videoPlayButton = nullptr;
  QLabel* totalTimeLabel = nullptr;
  QLabel* currentTimeLabel = nullptr;
  QLabel* fileNameLabel = nullptr;
  // Both.
  // Why the file last chosen was not played (the one before plays on); hidden when all went well.
  QLabel* refusalLabel = nullptr;
  CustomButton* selectFileButton = nullptr;
  CustomButton* backwardButton = nullptr;
  CustomButton* forwardButton = nullptr;

 private:
  void buildViews();
  void bindPlayer();
  // The labels of both modes from what the player holds now.
  void showFileInfo();
  void followStatus(bool playing);

  PlayerManager& player_;
  int frameObserver_ = 0;
};

}  // namespace corvane
