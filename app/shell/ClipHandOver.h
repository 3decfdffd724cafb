#pragma once

#include <QString>
#include <functional>

namespace corvane {

class PlayerManager;

// Plays a clip named on a command line, this start's own or one a later start handed over, in
// place of the camera: loaded, then played once it is. Whoever asked hears how the open went,
// so that a later start is told "not played" for a file the player cannot read rather than
// "plays" before the file was looked at.
class ClipHandOver {
 public:
  // Empty once the clip is the player's and plays; else why it is not (the player has logged
  // it as for any file it cannot play). On the main thread, once.
  using Answered = std::function<void(const QString& problem)>;

  explicit ClipHandOver(PlayerManager& player);

  void play(const QString& clip, Answered answered = {});

 private:
  PlayerManager& player_;
  bool playsWhenLoaded_ = false;
};

}  // namespace corvane
