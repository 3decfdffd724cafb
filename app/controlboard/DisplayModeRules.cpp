#include "controlboard/DisplayModeRules.h"

#include <algorithm>

#include "config/ConfigManager.h"

namespace corvane {

DisplayModeRules::Offer DisplayModeRules::Offer::from(const ConfigManager& c, bool shouldAudioFit,
                                                      bool is360Camera) {
  Offer o;
  o.vendor = c.vendor;
  o.gridComposeMode = c.gridComposeMode;
  o.groupComposeMode = c.groupComposeMode;
  o.focusMode = c.focusMode;
  o.bodyFitMode = c.bodyFitMode;
  o.audioFitMode = c.audioFitMode;
  o.gridMode = c.gridMode;
  o.presentationMode = c.presentationMode;
  o.speakerMode = c.speakerMode;
  o.singleSpeakerMode = c.singleSpeakerMode;
  o.isSingleSpeakerMode = c.isSingleSpeakerMode;
  o.topdownMode = c.topdownMode;
  o.panoramaMode = c.panoramaMode;
  o.shouldAudioFit = shouldAudioFit;
  o.is360Camera = is360Camera;
  return o;
}

std::vector<int> DisplayModeRules::modeList(const Offer& o) {
  std::vector<int> list;
  auto add = [&list](bool on, Display mode) {
    if (on) list.push_back(int(rawValue(mode)));
  };
  auto addCompose = [&] {
    if (o.gridComposeMode)
      add(true, Display::compose);
    else
      add(o.groupComposeMode, Display::twoGroup);
  };
  const bool audioFit = o.audioFitMode && o.shouldAudioFit;
  if (o.vendor == kVelosk) {
    add(o.gridMode, Display::grid);
    add(o.singleSpeakerMode, Display::singleSpeaker);
    add(o.speakerMode, Display::speaker);
    add(o.focusMode, Display::focus);
    addCompose();
    add(o.bodyFitMode, Display::bodyFit);
    add(audioFit, Display::audioFit);
    add(o.presentationMode, Display::presentation);
  } else {
    addCompose();
    add(o.focusMode, Display::focus);
    add(o.bodyFitMode, Display::bodyFit);
    add(audioFit, Display::audioFit);
    add(o.gridMode, Display::grid);
    add(o.presentationMode, Display::presentation);
    add(o.speakerMode, Display::speaker);
    add(o.singleSpeakerMode, Display::singleSpeaker);
  }
  add(o.topdownMode && o.is360Camera, Display::topDown);
  add(o.panoramaMode, Display::panorama);
  if (list.empty()) list.push_back(int(rawValue(Display::compose)));
  return list;
}

DisplayModeRules::ButtonLook DisplayModeRules::lookFor(int code) {
  switch (code) {
    case 10:
      return {"icon_composemode_focus", "icon_composemode_normal", "tips_grid_compose_mode"};
    case 11:
      return {"icon_manualfit_focus", "icon_manualfit_normal", "tips_focus_manual_mode"};
    case 12:
      return {"icon_gridmode_focus", "icon_gridmode_normal", "tips_grid_mode"};
    case 13:
      return {"icon_presentationmode_focus", "icon_presentationmode_normal",
              "tips_presentation_mode"};
    case 14:
      return {"icon_speakermode_focus", "icon_speakermode_normal", "tips_speaker_mode"};
    case 15:
      return {"icon_singleview_focus", "icon_singleview_normal", "tips_speaker_mode"};
    case 16:
      return {"icon_topdownmode_focus", "icon_topdownmode_normal", "tips_topdown_mode"};
    case 17:
      return {"icon_composeauto_focus", "icon_composeauto_normal", "tips_group_compose_mode"};
    case 18:
      return {"icon_360mode_focus", "icon_360mode_normal", "tips_360_mode"};
    case 90:
      return {"icon_bodyfit_focus", "icon_bodyfit_normal", "tips_focus_body_fit_mode"};
    case 91:
      return {"icon_audiofit_focus", "icon_audiofit_normal", "tips_focus_audio_fit_mode"};
    default:
      return {"icon_composemode_focus", "icon_composemode_normal", ""};
  }
}

DisplayModeRules::ButtonLook DisplayModeRules::sharedSpeakerLook(int tag) {
  if (tag == 15)
    return {"icon_singleview_multiple_focus", "icon_singleview_multiple_normal",
            "tips_speaker_mode"};
  return {"icon_speakermode_multiple_focus", "icon_speakermode_multiple_normal",
          "tips_speaker_mode"};
}

std::vector<DisplayModeRules::ButtonEntry> DisplayModeRules::buttons(const std::vector<int>& codes,
                                                                     const Offer& o) {
  std::vector<ButtonEntry> entries;
  const bool shared = o.speakerMode && o.singleSpeakerMode;
  bool speakerButtonMade = false;
  for (int code : codes) {
    const bool speaker = code == 14 || code == 15;
    if (speaker && shared) {
      // Both speaker modes share the first one's button; the second makes none.
      if (speakerButtonMade) continue;
      speakerButtonMade = true;
      const int tag = o.isSingleSpeakerMode ? 15 : 14;
      entries.push_back({tag, sharedSpeakerLook(tag), false});
      continue;
    }
    const bool known = makeDisplay(code).has_value();
    entries.push_back({code, lookFor(code), !known});
  }
  return entries;
}

DisplayModeRules::Sizing DisplayModeRules::sizing(int64_t perRow) {
  switch (perRow) {
    case 4:
      return {56.0, 10.0};
    case 3:
      return {60.0, 22.0};
    case 2:
      return {105.0, 15.0};
    default:
      return {60.0, std::nullopt};
  }
}

std::optional<int> DisplayModeRules::rowOf(size_t index, int64_t perRow) {
  for (int row = 0; row < kRowCount; ++row)
    if (perRow > 0 && int64_t(index) < int64_t(row + 1) * perRow) return row;
  return std::nullopt;
}

int DisplayModeRules::defaultCode(const std::vector<int>& codes, int64_t defaultDisplayMode) {
  const int code = int(defaultDisplayMode) + 10;
  if (codes.empty() || std::find(codes.begin(), codes.end(), code) != codes.end()) return code;
  return codes.front();
}

DisplayModeRules::Press DisplayModeRules::press(int tag, Display current, const Offer& o) {
  Press p;
  if (tag == 14 || tag == 15) {
    if (!o.speakerMode) {
      if (o.singleSpeakerMode) p.mode = Display::singleSpeaker;
      return p;
    }
    if (!o.singleSpeakerMode) {
      p.mode = Display::speaker;
      return p;
    }
    // The shared button: while one speaker mode is on, a press toggles to the other.
    int newTag = tag;
    if (current == Display::speaker)
      newTag = 15;
    else if (current == Display::singleSpeaker)
      newTag = 14;
    p.mode = newTag == 15 ? Display::singleSpeaker : Display::speaker;
    p.newTag = newTag;
    p.newLook = sharedSpeakerLook(newTag);
    return p;
  }
  if (tag == 10 || tag == 17) {
    p.mode = o.gridComposeMode ? Display::compose : Display::twoGroup;
    return p;
  }
  p.mode = makeDisplay(tag).value_or(Display::compose);
  return p;
}

std::vector<int> DisplayModeRules::withPlaceholders(std::vector<int> codes, int perPage) {
  if (perPage <= 0) return codes;
  const size_t remainder = codes.size() % size_t(perPage);
  codes.insert(codes.end(), remainder, kPlaceholder);
  return codes;
}

int DisplayModeRules::pageCount(size_t entries, int perPage) {
  if (perPage <= 0) return 0;
  return int((entries + 1) / size_t(perPage));
}

int DisplayModeRules::pageOfMode(const std::vector<int>& buttonTags, int code, int perPage) {
  if (perPage <= 0) return 0;
  auto it = std::find(buttonTags.begin(), buttonTags.end(), code);
  if (it == buttonTags.end()) return 0;
  return int(it - buttonTags.begin()) / perPage;
}

}  // namespace corvane
