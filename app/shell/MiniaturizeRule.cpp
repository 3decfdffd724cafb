#include "shell/MiniaturizeRule.h"

namespace corvane {

MiniaturizeRule::Step MiniaturizeRule::decide(bool hasDelegate, bool isSimpleMode,
                                              ConnectMode connectMode) {
  if (!hasDelegate) return Step::ignore;
  // Only the full layout over a live camera can have popups or an edit open.
  if (!isSimpleMode && connectMode == ConnectMode::connected) return Step::askPopups;
  return Step::miniaturize;
}

}  // namespace corvane
