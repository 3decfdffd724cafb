#include "shell/ClipHandOver.h"

#include "camera/PlayerManager.h"

namespace corvane {

ClipHandOver::ClipHandOver(PlayerManager& player) : player_(player) {}

void ClipHandOver::play(const QString& clip, Answered answered) {
  // From the first clip on, a loaded file plays at once: the command line asks for it to be
  // shown. A program started without one leaves the player window's files paused.
  if (!playsWhenLoaded_) {
    player_.setupComplete->bind([&player = player_](bool ok) {
      if (ok) player.play();
    });
    playsWhenLoaded_ = true;
  }
  PlayerManager::Opened opened;
  if (answered)
    opened = [answered = std::move(answered)](const std::string& problem) {
      answered(QString::fromStdString(problem));
    };
  player_.loadVideo(clip, std::move(opened));
}

}  // namespace corvane
