#include "config/ConfigField.h"

#include <algorithm>
#include <cctype>

#include "config/ConfigManager.h"
#include "config/HexColor.h"
#include "config/LenientJson.h"
#include "util/StringExtension.h"

namespace corvane {

namespace {

using File = ConfigField::File;
using Copy = ConfigField::Copy;
using Format = ConfigField::Format;
using Member = ConfigField::Member;
using CM = ConfigManager;

ConfigField plain(const char* name, Member member) { return ConfigField{name, member}; }

// A build key of the custom configuration: read from the resource copy only.
ConfigField build(const char* name, Member member, const char* key, bool written = true,
                  Format format = Format::plain) {
  return ConfigField{name, member, File::custom, key, Copy::build, written, format};
}

// A user-state key of the custom configuration: read from both copies.
ConfigField user(const char* name, Member member, const char* key, bool written = true,
                 Format format = Format::plain) {
  return ConfigField{name, member, File::custom, key, Copy::user, written, format};
}

ConfigField bundle(const char* name, Member member, const char* key,
                   const char* fallbackColor = nullptr) {
  return ConfigField{name,       member, File::bundle,  key,
                     Copy::none, false,  Format::plain, fallbackColor};
}

ConfigField setting(const char* name, Member member, const char* key) {
  return ConfigField{name, member, File::setting, key};
}

std::vector<ConfigField> makeTable() {
  return {
      plain("isRunningWithRosetta", &CM::isRunningWithRosetta),
      plain("configFileURL", &CM::configFileURL),
      plain("presetFileURL", &CM::presetFileURL),
      setting("isStaging", &CM::isStaging, "isStaging"),
      bundle("vendor", &CM::vendor, "vendor"),
      plain("showPowerby", &CM::showPowerby),
      bundle("darkLogo", &CM::darkLogo, "dark_logo"),
      plain("enableOta", &CM::enableOta),
      bundle("mainColor", &CM::mainColor, "main_color", "#7ED321"),
      bundle("rectColor", &CM::rectColor, "rect_color", "#7ED321"),
      bundle("trackColor", &CM::trackColor, "track_color", "#BD10E0"),
      bundle("speakColor", &CM::speakColor, "speak_color", "#FF9F00"),
      bundle("focusColor", &CM::focusColor, "focus_color", "#F8E71C"),
      bundle("ignoreColor", &CM::ignoreColor, "ignore_color", "#4FE3C0"),
      bundle("launchBarColor", &CM::launchBarColor, "launch_bar_color", "#26272C"),
      build("version", &CM::version, "version"),
      build("doaOffset", &CM::doaOffset, "DOA_offset"),
      build("gridComposeMode", &CM::gridComposeMode, "grid_compose_mode"),
      build("groupComposeMode", &CM::groupComposeMode, "group_compose_mode"),
      build("panoramaMode", &CM::panoramaMode, "panorama_mode"),
      build("focusMode", &CM::focusMode, "focus_mode"),
      build("bodyFitMode", &CM::bodyFitMode, "body_fit_mode"),
      build("audioFitMode", &CM::audioFitMode, "audio_fit_mode"),
      build("gridMode", &CM::gridMode, "grid_mode"),
      build("presentationMode", &CM::presentationMode, "presentation_mode"),
      build("speakerMode", &CM::speakerMode, "speaker_mode"),
      build("singleSpeakerMode", &CM::singleSpeakerMode, "single_speaker_mode"),
      user("isSingleSpeakerMode", &CM::isSingleSpeakerMode, "is_single_speaker_mode"),
      build("topdownMode", &CM::topdownMode, "topdown_mode"),
      build("stableRoiMin", &CM::stableRoiMin, "stable_roi_min"),
      build("stableRoiMax", &CM::stableRoiMax, "stable_roi_max"),
      build("beamformingLastingMs", &CM::beamformingLastingMs, "beamforming_lasting_ms"),
      build("speakerLastingMs", &CM::speakerLastingMs, "speaker_lasting_ms"),
      build("minRectRatio", &CM::minRectRatio, "min_rect_ratio", true, Format::sixDecimals),
      build("autoFitRectWidthPixels", &CM::autoFitRectWidthPixels, "auto_fit_rect_width_pixels"),
      build("beamformingTolerance", &CM::beamformingTolerance, "beamforming_tolerance"),
      build("detectOverlapRatio", &CM::detectOverlapRatio, "detect_overlap_ratio", true,
            Format::sixDecimals),
      build("detectInterval", &CM::detectInterval, "detect_interval"),
      build("detectRemoveThreshold", &CM::detectRemoveThreshold, "detect_remove_threshold"),
      build("fov1Value", &CM::fov1Value, "fov1_value"),
      build("fov2Value", &CM::fov2Value, "fov2_value"),
      build("fov3Value", &CM::fov3Value, "fov3_value"),
      user("defaultAutoDetect", &CM::defaultAutoDetect, "default_auto_detect"),
      build("maxStretchRatio", &CM::maxStretchRatio, "max_stretch_ratio", true,
            Format::sixDecimals),
      build("cameraNames", &CM::cameraNames, "camera_name"),
      build("cameraProductIds", &CM::cameraProductIds, "camera_pid", true, Format::lowerCased),
      build("cameraVendorIds", &CM::cameraVendorIds, "camera_vid", true, Format::lowerCased),
      user("defaultDisplayMode", &CM::defaultDisplayMode, "default_display_mode"),
      user("defaultSimple", &CM::defaultSimple, "default_simple_ui"),
      build("defaultTrackType", &CM::defaultTrackType, "default_track_type"),
      build("minRectSideLength", &CM::minRectSideLength, "min_rect_side_length"),
      build("enableFlipDoa", &CM::enableFlipDoa, "enable_flip_doa"),
      build("enableStatisticsDoa", &CM::enableStatisticsDoa, "enable_statistics_doa"),
      build("statisticsDoaThreshold", &CM::statisticsDoaThreshold, "statistics_doa_threshold"),
      build("gridModeMaxCount", &CM::gridModeMaxCount, "grid_mode_max_count"),
      build("connectRetryTime", &CM::connectRetryTime, "connect_retry_time"),
      build("enableButtonTips", &CM::enableButtonTips, "enable_button_tips"),
      user("defaultLargeNavigator", &CM::defaultLargeNavigator, "default_large_navigator"),
      build("faceEnlargeRatio", &CM::faceEnlargeRatio, "face_enlarge_ratio", true,
            Format::sixDecimals),
      build("detectConfThreshold", &CM::detectConfThreshold, "detect_conf_threshold", true,
            Format::sixDecimals),
      build("videoPanWeight", &CM::videoPanWeight, "video_pan_weight", true, Format::sixDecimals),
      build("transitionFrameCount", &CM::transitionFrameCount, "transition_frame_count"),
      build("displayModesPerRow", &CM::displayModesPerRow, "display_modes_per_row"),
      build("disableAutoFlicker", &CM::disableAutoFlicker, "disable_auto_flicker"),
      build("gridModeRoiMerge", &CM::gridModeRoiMerge, "grid_mode_roi_merge"),
      build("presentationModePresenterSizeLevel", &CM::presentationModePresenterSizeLevel,
            "presentation_mode_presenter_size_level"),
      build("enableNewDetectLayout", &CM::enableNewDetectLayout, "enable_new_detect_layout"),
      build("maxDetectRectSideLength", &CM::maxDetectRectSideLength, "max_detect_rect_side_length"),
      build("alwaysDoTransitionInSpeakerMode", &CM::alwaysDoTransitionInSpeakerMode,
            "always_do_transition_in_speaker_mode"),
      build("minSrcHeightScale", &CM::minSrcHeightScale, "min_src_height_scale", true,
            Format::sixDecimals),
      build("gridComposeModeMaxCount", &CM::gridComposeModeMaxCount, "grid_compose_mode_max_count"),
      build("enableTutorial", &CM::enableTutorial, "enable_tutorial"),
      bundle("tutorialCount", &CM::tutorialCount, "tutorial_count"),
      plain("presets", &CM::presets),
      user("manualFocusRect", &CM::manualFocusRect, "manual_focus_rect", true, Format::anyRectForm),
      user("presentRect", &CM::presentRect, "present_rect", true, Format::anyRectForm),
      user("roiRecord1", &CM::roiRecord1, "roi_record1"),
      user("roiRecord2", &CM::roiRecord2, "roi_record2"),
      user("roiRecord3", &CM::roiRecord3, "roi_record3"),
      user("ignoreRoiRecord1", &CM::ignoreRoiRecord1, "ignore_roi_record1"),
      user("ignoreRoiRecord2", &CM::ignoreRoiRecord2, "ignore_roi_record2"),
      user("ignoreRoiRecord3", &CM::ignoreRoiRecord3, "ignore_roi_record3"),
      user("roiRecord1Fov", &CM::roiRecord1Fov, "roi_record1_fov"),
      user("roiRecord2Fov", &CM::roiRecord2Fov, "roi_record2_fov"),
      user("roiRecord3Fov", &CM::roiRecord3Fov, "roi_record3_fov"),
      user("roiRecord1Mirror", &CM::roiRecord1Mirror, "roi_record1_mirror"),
      user("roiRecord2Mirror", &CM::roiRecord2Mirror, "roi_record2_mirror"),
      user("roiRecord3Mirror", &CM::roiRecord3Mirror, "roi_record3_mirror"),
      user("roiRecord1BasePos", &CM::roiRecord1BasePos, "roi_record1_base_pos"),
      user("roiRecord2BasePos", &CM::roiRecord2BasePos, "roi_record2_base_pos"),
      user("roiRecord3BasePos", &CM::roiRecord3BasePos, "roi_record3_base_pos"),
      user("roiRecord1180CropY", &CM::roiRecord1180CropY, "roi_record1_180_crop_y"),
      user("roiRecord2180CropY", &CM::roiRecord2180CropY, "roi_record2_180_crop_y"),
      user("roiRecord3180CropY", &CM::roiRecord3180CropY, "roi_record3_180_crop_y"),
      user("roiRecord1DoTracking", &CM::roiRecord1DoTracking, "roi_record1_do_tracking"),
      user("roiRecord2DoTracking", &CM::roiRecord2DoTracking, "roi_record2_do_tracking"),
      user("roiRecord3DoTracking", &CM::roiRecord3DoTracking, "roi_record3_do_tracking"),
      user("roiRecord1DisplayMode", &CM::roiRecord1DisplayMode, "roi_record1_display_mode"),
      user("roiRecord2DisplayMode", &CM::roiRecord2DisplayMode, "roi_record2_display_mode"),
      user("roiRecord3DisplayMode", &CM::roiRecord3DisplayMode, "roi_record3_display_mode"),
      user("roiRecord1FixRect", &CM::roiRecord1FixRect, "roi_record1_fix_rect"),
      user("roiRecord2FixRect", &CM::roiRecord2FixRect, "roi_record2_fix_rect"),
      user("roiRecord3FixRect", &CM::roiRecord3FixRect, "roi_record3_fix_rect"),
      user("roiRecord1ForcusedPreset", &CM::roiRecord1ForcusedPreset, "roi_record1_focused_preset"),
      user("roiRecord2ForcusedPreset", &CM::roiRecord2ForcusedPreset, "roi_record2_focused_preset"),
      user("roiRecord3ForcusedPreset", &CM::roiRecord3ForcusedPreset, "roi_record3_focused_preset"),
      user("roiRecord1CustomPreset", &CM::roiRecord1CustomPreset, "roi_record1_custom_values"),
      user("roiRecord2CustomPreset", &CM::roiRecord2CustomPreset, "roi_record2_custom_values"),
      user("roiRecord3CustomPreset", &CM::roiRecord3CustomPreset, "roi_record3_custom_values"),
      user("roiRecordIndex", &CM::roiRecordIndex, "roi_record_index"),
      build("enableLaunchDetect", &CM::enableLaunchDetect, "enable_launch_detect", false),
      user("enablePerspectiveProjection", &CM::enablePerspectiveProjection,
           "enable_perspective_projection", false),
      build("enableReport", &CM::enableReport, "show_issue_report", false),
      plain("customPresetTitle", &CM::customPresetTitle),
      plain("startTimestamp", &CM::startTimestamp),
      plain("bundleName", &CM::bundleName),
  };
}

std::string lowerCased(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// What the dump shows of a list past its first kDumpListItems elements.
std::string restOfList(size_t size) {
  if (size <= ConfigField::kDumpListItems) return "]";
  return ", ... (" + std::to_string(size - ConfigField::kDumpListItems) + " more)]";
}

std::string quotedList(const std::vector<std::string>& list) {
  std::string out = "[";
  for (size_t i = 0; i < list.size() && i < ConfigField::kDumpListItems; ++i)
    out += (i ? ", \"" : "\"") + list[i] + "\"";
  return out + restOfList(list.size());
}

std::string describeRect(const RectPoint& r) {
  auto t = LenientJson::shortestText;
  return "{(" + t(r.x1) + ", " + t(r.y1) + "), (" + t(r.x2) + ", " + t(r.y2) + "), (" + t(r.x3) +
         ", " + t(r.y3) + "), (" + t(r.x4) + ", " + t(r.y4) + ")}";
}

std::string describePreset(const PresetModel& p) {
  return p.name + " (" + p.displayName + "; ev " + LenientJson::shortestText(p.ev) + ", flickr " +
         std::to_string(p.flickr) + ", lighting " + std::to_string(p.lighting) + ", contrast " +
         std::to_string(p.contrast) + ", saturation " + std::to_string(p.saturation) +
         ", sharpness " + std::to_string(p.sharpness) + ", gamma " + std::to_string(p.gamma) +
         ", nr " + std::to_string(p.nr) + ")";
}

template <typename T, typename F>
std::string describeList(const std::vector<T>& list, F describeOne) {
  std::string out = "[";
  for (size_t i = 0; i < list.size() && i < ConfigField::kDumpListItems; ++i)
    out += (i ? ", " : "") + describeOne(list[i]);
  return out + restOfList(list.size());
}

// A value cut to kDumpValueBytes, at a character's start, with what was left out.
std::string bounded(std::string text) {
  return StringExtension::bounded(std::move(text), ConfigField::kDumpValueBytes);
}

template <typename T>
bool assign(T& field, std::optional<T> value) {
  if (!value) return false;
  field = std::move(*value);
  return true;
}

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

const std::vector<ConfigField>& ConfigField::all() {
  static const std::vector<ConfigField> table = makeTable();
  return table;
}

std::optional<std::vector<RectPoint>> ConfigField::rectList(const nlohmann::json& value,
                                                            bool anyForm, LogManager& logger) {
  if (!value.is_array()) return std::nullopt;
  for (const auto& element : value)
    if (!element.is_object()) return std::nullopt;
  std::vector<RectPoint> rects;
  for (const auto& element : value) {
    auto n = [&](const char* key) { return LenientJson::number(element, key); };
    auto x1 = n("x1"), y1 = n("y1"), x2 = n("x2"), y2 = n("y2");
    auto x3 = n("x3"), y3 = n("y3"), x4 = n("x4"), y4 = n("y4");
    if (x1 && y1 && x2 && y2 && x3 && y3 && x4 && y4) {
      rects.emplace_back(*x1, *y1, *x2, *y2, *x3, *y3, *x4, *y4, logger);
      continue;
    }
    if (!anyForm) continue;
    auto x = n("x"), y = n("y"), w = n("w"), h = n("h");
    if (x && y && w && h) rects.emplace_back(FocusRect{*x, *y, *w, *h}, logger);
  }
  return rects;
}

nlohmann::ordered_json ConfigField::rectListJson(const std::vector<RectPoint>& rects) {
  auto list = nlohmann::ordered_json::array();
  for (const auto& r : rects) {
    list.push_back({{"x1", r.x1},
                    {"y1", r.y1},
                    {"x2", r.x2},
                    {"y2", r.y2},
                    {"x3", r.x3},
                    {"y3", r.y3},
                    {"x4", r.x4},
                    {"y4", r.y4}});
  }
  return list;
}

bool ConfigField::read(ConfigManager& config, const nlohmann::json& object) const {
  if (!key) return false;
  const nlohmann::json* value = LenientJson::member(object, key);
  return std::visit(
      Overloaded{
          [&](bool CM::*m) {
            return assign(config.*m, value ? LenientJson::toBoolean(*value) : std::nullopt);
          },
          [&](int64_t CM::*m) {
            return assign(config.*m, value ? LenientJson::toInteger(*value) : std::nullopt);
          },
          [&](double CM::*m) {
            return assign(config.*m, value ? LenientJson::toNumber(*value) : std::nullopt);
          },
          [&](std::string CM::*m) {
            return assign(config.*m, value ? LenientJson::toString(*value) : std::nullopt);
          },
          [&](std::vector<std::string> CM::*m) {
            auto list = value ? LenientJson::toStringList(*value) : std::nullopt;
            if (list && format == Format::lowerCased)
              for (auto& s : *list) s = lowerCased(s);
            return assign(config.*m, std::move(list));
          },
          [&](std::optional<QColor> CM::*m) {
            auto text = value ? LenientJson::toString(*value) : std::nullopt;
            config.*m =
                colorFromHexString(text ? *text : std::string(fallbackColor ? fallbackColor : ""));
            return true;
          },
          [&](std::vector<RectPoint> CM::*m) {
            auto rects = value ? rectList(*value, format == Format::anyRectForm, config.logger())
                               : std::nullopt;
            return assign(config.*m, std::move(rects));
          },
          [&](std::optional<PresetModel> CM::*m) {
            if (!value || !value->is_object()) return false;
            config.*m = config.parsePreset(*value, config.customPresetIndex());
            return true;
          },
          [&](auto) { return false; },
      },
      member);
}

void ConfigField::write(const ConfigManager& config, nlohmann::ordered_json& out) const {
  if (!key) return;
  std::visit(Overloaded{
                 [&](bool CM::*m) { out[key] = config.*m; },
                 [&](int64_t CM::*m) { out[key] = config.*m; },
                 [&](double CM::*m) {
                   out[key] = format == Format::sixDecimals ? LenientJson::sixDecimals(config.*m)
                                                            : config.*m;
                 },
                 [&](std::string CM::*m) { out[key] = config.*m; },
                 [&](std::vector<std::string> CM::*m) { out[key] = config.*m; },
                 [&](std::vector<RectPoint> CM::*m) { out[key] = rectListJson(config.*m); },
                 [&](std::optional<PresetModel> CM::*m) {
                   if (config.*m) out[key] = ConfigManager::presetDictionary(*(config.*m));
                 },
                 [&](auto) {},
             },
             member);
}

std::string ConfigField::describe(const ConfigManager& config) const {
  return bounded(std::visit(
      Overloaded{
          [&](bool CM::*m) -> std::string { return config.*m ? "true" : "false"; },
          [&](int64_t CM::*m) { return std::to_string(config.*m); },
          [&](double CM::*m) { return LenientJson::shortestText(config.*m); },
          [&](std::string CM::*m) { return config.*m; },
          [&](std::vector<std::string> CM::*m) { return quotedList(config.*m); },
          [&](std::optional<QColor> CM::*m) -> std::string {
            return config.*m ? hexStringOfColor(*(config.*m)) : "nil";
          },
          [&](std::optional<std::string> CM::*m) -> std::string {
            return config.*m ? *(config.*m) : "nil";
          },
          [&](std::vector<RectPoint> CM::*m) { return describeList(config.*m, describeRect); },
          [&](std::vector<PresetModel> CM::*m) { return describeList(config.*m, describePreset); },
          [&](std::optional<PresetModel> CM::*m) -> std::string {
            return config.*m ? describePreset(*(config.*m)) : "nil";
          },
      },
      member));
}

}  // namespace corvane
