#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera/Display.h"

namespace corvane {

class ConfigManager;

// What both control boards decide about display-mode buttons, free of widgets: which modes are
// offered and in which order, what each button shows, where it goes and what a press selects.
class DisplayModeRules {
 public:
  // The configuration and camera facts the mode list depends on.
  struct Offer {
    std::string vendor;
    bool gridComposeMode = false;
    bool groupComposeMode = false;
    bool focusMode = false;
    bool bodyFitMode = false;
    bool audioFitMode = false;
    bool gridMode = false;
    bool presentationMode = false;
    bool speakerMode = false;
    bool singleSpeakerMode = false;
    bool isSingleSpeakerMode = false;
    bool topdownMode = false;
    bool panoramaMode = false;
    bool shouldAudioFit = false;
    bool is360Camera = false;

    static Offer from(const ConfigManager& config, bool shouldAudioFit, bool is360Camera);
  };

  // The pictures and tool tip of one mode button.
  struct ButtonLook {
    std::string selectedImage;
    std::string normalImage;
    std::string tipKey;  // empty: no tool tip

    bool operator==(const ButtonLook&) const = default;
  };

  // One button to make: its tag and look. A placeholder keeps its slot but is never shown.
  struct ButtonEntry {
    int tag = 0;
    ButtonLook look;
    bool placeholder = false;

    bool operator==(const ButtonEntry&) const = default;
  };

  // Side of a mode button and the spacing of its row (none: the spacing stays as it is).
  struct Sizing {
    double side = 60.0;
    std::optional<double> spacing;
  };

  // What a press on a mode button does: the mode to select (none: nothing changes) and, for the
  // shared speaker button, the tag and look it takes.
  struct Press {
    std::optional<Display> mode;
    std::optional<int> newTag;
    std::optional<ButtonLook> newLook;
  };

  static constexpr const char* kVelosk = "Velosk";
  static constexpr int kPlaceholder = -1;
  static constexpr int kRowCount = 5;

  // The offered mode codes in button order; never empty (compose when nothing is enabled).
  static std::vector<int> modeList(const Offer& offer);
  // The look of a mode's own button; compose's look and no tip for codes outside the table.
  static ButtonLook lookFor(int code);
  // The shared speaker button's look for its tag (15: single view, otherwise speaker).
  static ButtonLook sharedSpeakerLook(int tag);
  // One button per entry, but a single one for both speaker modes when both are offered; -1
  // entries become placeholders with compose's look.
  static std::vector<ButtonEntry> buttons(const std::vector<int>& codes, const Offer& offer);
  static Sizing sizing(int64_t displayModesPerRow);
  // The row of button i, or none when it is not placed.
  static std::optional<int> rowOf(size_t index, int64_t displayModesPerRow);
  // The configured default mode (counted from 0 in the configuration) when it is offered,
  // otherwise the first offered one.
  static int defaultCode(const std::vector<int>& codes, int64_t defaultDisplayMode);
  // The mode a tag stands for when pressed (compose or two groups by the compose flag).
  static Press press(int tag, Display current, const Offer& offer);

  // ---- the small board's pages ----
  // The codes followed by (count mod perPage) placeholders, as many as the remainder.
  static std::vector<int> withPlaceholders(std::vector<int> codes, int perPage);
  // (entries + 1) / perPage pages.
  static int pageCount(size_t entries, int perPage);
  // The page of the button tagged with the current mode's code (0 when there is none).
  static int pageOfMode(const std::vector<int>& buttonTags, int code, int perPage);
};

}  // namespace corvane
