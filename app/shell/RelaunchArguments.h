#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane {

// What the program is started again with when it relaunches itself (a new language, the virtual
// camera): the arguments it was started with, but the clip the user watches now in place of the
// one its command line named, so that a clip opened in the player window comes back too.
class RelaunchArguments {
 public:
  // `started`: the arguments without the program path, as the process got them (the toolkit's
  // own options included); `namedClip`: the clip its command line named, as given; `playingClip`:
  // the video that plays now, none when no video does. The named clip (its last occurrence) is
  // left out and the playing one added at the end.
  static std::vector<std::string> arguments(std::vector<std::string> started,
                                            const std::optional<std::string>& namedClip,
                                            const std::optional<std::string>& playingClip);
  // The same for this process: its arguments, its command line's clip, the program's player.
  static std::vector<std::string> process();
};

}  // namespace corvane
