// The boards' decisions apart from any widget: mode lists, button looks and rows, presses,
// pages, value mapping, preset choice, the face-scan ending, the common title size and the
// outline toggles.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <cmath>

#include "controlboard/BorderButtonRules.h"
#include "controlboard/DisplayModeRules.h"
#include "controlboard/EditMode.h"
#include "controlboard/FaceScanRules.h"
#include "controlboard/FlickerMode.h"
#include "controlboard/PictureControlValues.h"
#include "controlboard/PresetChoice.h"
#include "controlboard/TitleFontFit.h"

using corvane::Display;
using corvane::DisplayModeRules;
using corvane::FaceScanRules;
using corvane::FlickerMode;
using corvane::PictureControlValues;
using Offer = DisplayModeRules::Offer;

namespace {

Offer everything(const std::string& vendor = "") {
  Offer o;
  o.vendor = vendor;
  o.gridComposeMode = o.groupComposeMode = o.focusMode = o.bodyFitMode = o.audioFitMode = true;
  o.gridMode = o.presentationMode = o.speakerMode = o.singleSpeakerMode = true;
  o.topdownMode = o.panoramaMode = o.shouldAudioFit = o.is360Camera = true;
  return o;
}

std::vector<int> tags(const std::vector<DisplayModeRules::ButtonEntry>& entries) {
  std::vector<int> out;
  for (const auto& s : entries) out.push_back(s.tag);
  return out;
}

}  // namespace

TEST(BoardEnums, RawValueThreeIsNoCase) {
  EXPECT_FALSE(corvane::editModeFromRaw(3).has_value());
  EXPECT_FALSE(corvane::flickerModeFromRaw(3).has_value());
  EXPECT_EQ(corvane::editModeFromRaw(2), corvane::EditMode::ignore);
  EXPECT_EQ(corvane::flickerModeFromRaw(2), FlickerMode::sixty);
}

TEST(DisplayModeList, VendorOrders) {
  struct Case {
    const char* what;
    Offer offer;
    std::vector<int> codes;
  };
  Offer veloskCompose = everything(DisplayModeRules::kVelosk);
  Offer otherGroup = everything();
  otherGroup.gridComposeMode = false;
  Offer velosk180 = everything(DisplayModeRules::kVelosk);
  velosk180.is360Camera = false;
  Offer noAudio = everything();
  noAudio.shouldAudioFit = false;
  const Case cases[] = {
      {"Velosk", veloskCompose, {12, 15, 14, 11, 10, 90, 91, 13, 16, 18}},
      {"other vendor, two groups", otherGroup, {17, 11, 90, 91, 12, 13, 14, 15, 16, 18}},
      {"no top-down without a full turn", velosk180, {12, 15, 14, 11, 10, 90, 91, 13, 18}},
      {"audio fit only when it may fit", noAudio, {10, 11, 90, 12, 13, 14, 15, 16, 18}},
      {"nothing enabled", Offer{}, {10}},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayModeRules::modeList(c.offer), c.codes) << c.what;
}

TEST(DisplayModeList, SharedSpeakerButtonAndAtMostNineButtons) {
  Offer o = everything();
  const auto codes = DisplayModeRules::modeList(o);
  auto entries = DisplayModeRules::buttons(codes, o);
  EXPECT_EQ(tags(entries), (std::vector<int>{10, 11, 90, 91, 12, 13, 14, 16, 18}));
  EXPECT_EQ(entries[6].look.normalImage, "icon_speakermode_multiple_normal");
  EXPECT_LE(entries.size(), 9u);

  o.isSingleSpeakerMode = true;
  entries = DisplayModeRules::buttons(codes, o);
  EXPECT_EQ(entries[6].tag, 15);
  EXPECT_EQ(entries[6].look.selectedImage, "icon_singleview_multiple_focus");

  Offer onlySingle = o;
  onlySingle.speakerMode = false;
  entries = DisplayModeRules::buttons(DisplayModeRules::modeList(onlySingle), onlySingle);
  ASSERT_EQ(tags(entries), (std::vector<int>{10, 11, 90, 91, 12, 13, 15, 16, 18}));
  EXPECT_EQ(entries[6].look.normalImage, "icon_singleview_normal");
  EXPECT_EQ(entries[6].look.tipKey, "tips_speaker_mode");
}

TEST(DisplayModeList, LooksPlaceholdersAndRows) {
  EXPECT_EQ(DisplayModeRules::lookFor(18).selectedImage, "icon_360mode_focus");
  EXPECT_EQ(DisplayModeRules::lookFor(17).tipKey, "tips_group_compose_mode");
  EXPECT_EQ(DisplayModeRules::lookFor(-1).normalImage, "icon_composemode_normal");
  EXPECT_EQ(DisplayModeRules::lookFor(-1).tipKey, "");
  const auto entries = DisplayModeRules::buttons({10, -1}, Offer{});
  EXPECT_FALSE(entries[0].placeholder);
  EXPECT_TRUE(entries[1].placeholder);

  struct Case {
    size_t index;
    int64_t perRow;
    std::optional<int> row;
  };
  const Case cases[] = {{0, 4, 0},           {3, 4, 0},
                        {4, 4, 1},           {8, 4, 2},
                        {4, 1, 4},           {5, 1, std::nullopt},
                        {9, 2, 4},           {10, 2, std::nullopt},
                        {0, 0, std::nullopt}};
  for (const auto& c : cases)
    EXPECT_EQ(DisplayModeRules::rowOf(c.index, c.perRow), c.row) << c.index << " " << c.perRow;

  EXPECT_EQ(DisplayModeRules::sizing(4).side, 56.0);
  EXPECT_EQ(DisplayModeRules::sizing(4).spacing, 10.0);
  EXPECT_EQ(DisplayModeRules::sizing(3).spacing, 22.0);
  EXPECT_EQ(DisplayModeRules::sizing(2).side, 105.0);
  EXPECT_EQ(DisplayModeRules::sizing(1).side, 60.0);
  EXPECT_FALSE(DisplayModeRules::sizing(1).spacing.has_value());
}

TEST(DisplayModeList, DefaultModeFallsBackToTheFirstOffered) {
  EXPECT_EQ(DisplayModeRules::defaultCode({12, 14, 10}, 0), 10);
  EXPECT_EQ(DisplayModeRules::defaultCode({12, 14, 10}, 3), 12);
  EXPECT_EQ(DisplayModeRules::defaultCode({12, 90}, 80), 90);
  EXPECT_EQ(DisplayModeRules::defaultCode({17}, -20), 17);
}

TEST(DisplayModePress, TagsToModes) {
  Offer o;  // nothing enabled: compose presses give two groups
  EXPECT_EQ(DisplayModeRules::press(10, Display::compose, o).mode, Display::twoGroup);
  EXPECT_EQ(DisplayModeRules::press(17, Display::compose, o).mode, Display::twoGroup);
  o.gridComposeMode = true;
  EXPECT_EQ(DisplayModeRules::press(10, Display::grid, o).mode, Display::compose);
  EXPECT_EQ(DisplayModeRules::press(11, Display::grid, o).mode, Display::focus);
  EXPECT_EQ(DisplayModeRules::press(91, Display::grid, o).mode, Display::audioFit);
  EXPECT_EQ(DisplayModeRules::press(-1, Display::grid, o).mode, Display::compose);
  EXPECT_EQ(DisplayModeRules::press(42, Display::grid, o).mode, Display::compose);

  // Speaker tags without both speaker modes.
  EXPECT_FALSE(DisplayModeRules::press(14, Display::grid, o).mode.has_value());
  o.singleSpeakerMode = true;
  EXPECT_EQ(DisplayModeRules::press(14, Display::grid, o).mode, Display::singleSpeaker);
  o.singleSpeakerMode = false;
  o.speakerMode = true;
  EXPECT_EQ(DisplayModeRules::press(15, Display::grid, o).mode, Display::speaker);
}

TEST(DisplayModePress, SharedSpeakerButtonToggles) {
  Offer o;
  o.speakerMode = o.singleSpeakerMode = true;
  auto p = DisplayModeRules::press(14, Display::speaker, o);
  EXPECT_EQ(p.mode, Display::singleSpeaker);
  EXPECT_EQ(p.newTag, 15);
  EXPECT_EQ(p.newLook->normalImage, "icon_singleview_multiple_normal");
  p = DisplayModeRules::press(15, Display::singleSpeaker, o);
  EXPECT_EQ(p.mode, Display::speaker);
  EXPECT_EQ(p.newTag, 14);
  EXPECT_EQ(p.newLook->normalImage, "icon_speakermode_multiple_normal");
  // From another mode the button's own tag decides.
  EXPECT_EQ(DisplayModeRules::press(15, Display::grid, o).mode, Display::singleSpeaker);
  EXPECT_EQ(DisplayModeRules::press(14, Display::grid, o).mode, Display::speaker);
}

TEST(SmallBoardPages, PlaceholdersPagesAndTheCurrentModesPage) {
  struct Case {
    size_t modes;
    size_t entries;
    int pages;
  };
  const Case cases[] = {{1, 2, 1}, {3, 3, 1}, {4, 5, 2}, {5, 7, 2}, {6, 6, 2}, {7, 8, 3}};
  for (const auto& c : cases) {
    const auto entries = DisplayModeRules::withPlaceholders(std::vector<int>(c.modes, 10), 3);
    EXPECT_EQ(entries.size(), c.entries) << c.modes;
    EXPECT_EQ(DisplayModeRules::pageCount(entries.size(), 3), c.pages) << c.modes;
  }
  EXPECT_EQ(DisplayModeRules::withPlaceholders({10, 11, 12, 13}, 3).back(), -1);

  // Buttons after the shared speaker button sit one place earlier than their modes.
  const std::vector<int> buttonTags{10, 11, 12, 13, 14, 16, 18, -1, -1};
  EXPECT_EQ(DisplayModeRules::pageOfMode(buttonTags, 16, 3), 1);
  EXPECT_EQ(DisplayModeRules::pageOfMode(buttonTags, 18, 3), 2);
  EXPECT_EQ(DisplayModeRules::pageOfMode(buttonTags, 90, 3), 0);
}

TEST(PictureValues, RoundingClampsAndRatios) {
  EXPECT_DOUBLE_EQ(PictureControlValues::ceil2(0.291), 0.30);
  EXPECT_DOUBLE_EQ(PictureControlValues::ceil2(0.29), 0.29);
  EXPECT_DOUBLE_EQ(PictureControlValues::ceil2(1.1), 1.1);
  EXPECT_DOUBLE_EQ(PictureControlValues::ceil2(-1.257), -1.25);

  struct Case {
    const char* what;
    PictureControlValues::Shown got, want;
  };
  const Case cases[] = {
      {"EV inside", PictureControlValues::ev(0.5, -2, 2), {0.5, 0.63}},
      {"EV above the maximum", PictureControlValues::ev(7.3, -2, 2), {2, 1}},
      {"EV below the minimum", PictureControlValues::ev(-9, -2, 2), {-2, 0}},
      {"EV empty range", PictureControlValues::ev(1, 0, 0), {0, 0}},
      {"lighting above", PictureControlValues::lighting(130), {100, 1}},
      {"lighting below", PictureControlValues::lighting(-4), {0, 0}},
      {"lighting half rounds away", PictureControlValues::lighting(49.5), {50, 0.5}},
      {"gamma in its range", PictureControlValues::wholeInRange(250, 100, 300), {250, 0.75}},
      {"gamma below its range", PictureControlValues::wholeInRange(50, 100, 300), {100, 0}},
      {"NR with no range", PictureControlValues::wholeInRange(50, 0, 0), {0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(c.got.value, c.want.value, 1e-9) << c.what;
    EXPECT_NEAR(c.got.ratio, c.want.ratio, 1e-9) << c.what;
  }
  EXPECT_DOUBLE_EQ(PictureControlValues::evAt(1.0, -2, 2), 2.0);
  EXPECT_DOUBLE_EQ(PictureControlValues::evAt(0.3, -2, 2), -0.8);
  EXPECT_DOUBLE_EQ(PictureControlValues::lightingAt(0.333), 33.3);
  EXPECT_DOUBLE_EQ(PictureControlValues::rangeAt(0.5, 100, 300), 200);
}

TEST(PictureValues, OneNoiseReductionScaleFlickerAndTexts) {
  EXPECT_EQ(PictureControlValues::denoiseLevel(0.0), 0.0f);
  EXPECT_EQ(PictureControlValues::denoiseLevel(0.3), 2.0f);
  EXPECT_EQ(PictureControlValues::denoiseLevel(0.5), 3.0f);
  EXPECT_EQ(PictureControlValues::denoiseLevel(1.0), 6.0f);
  EXPECT_EQ(PictureControlValues::denoiseLevel(7.0), 6.0f);
  EXPECT_EQ(PictureControlValues::flickerForTag(11), FlickerMode::fifty);
  EXPECT_EQ(PictureControlValues::flickerForTag(13), FlickerMode::automatic);
  EXPECT_EQ(PictureControlValues::flickerForTag(9), FlickerMode::automatic);
  EXPECT_EQ(PictureControlValues::flickerForLevel(3), FlickerMode::automatic);
  EXPECT_EQ(PictureControlValues::flickerForLevel(2), FlickerMode::sixty);
  EXPECT_EQ(PictureControlValues::evText(0.5f), "0.5");
  EXPECT_EQ(PictureControlValues::evText(-1.25f), "-1.25");
  EXPECT_EQ(PictureControlValues::evText(2.0f), "2");
  EXPECT_EQ(PictureControlValues::evText(0.63f), "0.63");
}

// A value field takes what it can read and nothing else: the locale's decimal separator where the
// value has decimals, whole numbers elsewhere, the control's range; the field's own text reads
// back as the value it stands for.
TEST(PictureControlValuesTest, FieldsTakeOnlyWhatTheyCanRead) {
  const QLocale c = QLocale::c(), de(QLocale::German, QLocale::Germany);
  struct Row {
    const char* text;
    QLocale locale;
    bool decimals;
    double min, max;
    std::optional<double> read;
  };
  const Row rows[] = {
      {"55", c, false, 0, 100, 55},
      {" 55 ", c, false, 0, 100, 55},
      {"55,5", c, false, 0, 100, std::nullopt},  // a comma in C: no number, not a stored 0
      {"55.5", c, false, 0, 100, std::nullopt},  // a whole-number control takes no decimals
      {"55,5", de, false, 0, 100, std::nullopt},
      {"101", c, false, 0, 100, std::nullopt},  // beyond the range
      {"-1", c, false, 0, 100, std::nullopt},
      {"0", c, false, 0, 100, 0},
      {"100", de, false, 0, 100, 100},
      {"1e2", c, false, 0, 100, std::nullopt},
      {"", c, false, 0, 100, std::nullopt},
      {"abc", c, false, 0, 100, std::nullopt},
      {"1.5", c, true, -2, 2, 1.5},
      {"1,5", c, true, -2, 2, std::nullopt},
      {"1,5", de, true, -2, 2, 1.5},
      {"1.5", de, true, -2, 2, std::nullopt},  // a group separator, not a decimal one
      {"-1,25", de, true, -2, 2, -1.25},
      {"2.5", c, true, -2, 2, std::nullopt},
      {"inf", c, true, -2, 2, std::nullopt},
      {"nan", c, true, -2, 2, std::nullopt},
      {"1.000", de, false, 0, 5000, std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PictureControlValues::readField(row.text, row.locale, row.decimals, row.min, row.max),
              row.read)
        << row.text << " in " << row.locale.name().toStdString();
  }
  // What a field shows reads back as the value shown, in either locale.
  for (const QLocale& locale : {c, de}) {
    for (double v : {-1.25, 0.5, 0.0, 2.0, 0.63}) {
      const QString shown = PictureControlValues::fieldText(v, locale, true);
      EXPECT_EQ(PictureControlValues::readField(shown, locale, true, -2, 2), v)
          << shown.toStdString();
    }
    EXPECT_EQ(PictureControlValues::fieldText(55, locale, false), "55");
  }
  EXPECT_EQ(PictureControlValues::fieldText(-1.25, de, true), "-1,25");
}

TEST(PresetChoiceTest, NamesFirstThenOldDisplayNames) {
  std::vector<corvane::PresetModel> presets(3);
  presets[0].name = "Standard";
  presets[0].displayName = "Normal";
  presets[1].name = "Normal";  // a name that is another preset's display name
  presets[1].displayName = "Hell";
  presets[2].name = "Custom";
  presets[2].displayName = "Eigene";
  EXPECT_EQ(corvane::PresetChoice::indexForStored(presets, "Normal"), 1u);
  EXPECT_EQ(corvane::PresetChoice::indexForStored(presets, "Eigene"), 2u);
  EXPECT_EQ(corvane::PresetChoice::indexForStored(presets, "Custom"), 2u);
  EXPECT_FALSE(corvane::PresetChoice::indexForStored(presets, "Vivid").has_value());
  EXPECT_FALSE(corvane::PresetChoice::indexForStored(presets, "").has_value());
  EXPECT_TRUE(corvane::PresetChoice::isCustom(presets, 2, "Eigene"));
  EXPECT_FALSE(corvane::PresetChoice::isCustom(presets, 5, "Eigene"));
  EXPECT_FALSE(corvane::PresetChoice::isCustom(presets, std::nullopt, "Eigene"));
  EXPECT_EQ(corvane::PresetChoice::customIndex(presets, "Eigene"), 2u);
}

// The times are the monotonic clock's, counted from its origin (as a test clock's may be).
TEST(FaceScan, EndingKeepsEveryScanOnScreenForOneSecond) {
  using Stop = FaceScanRules::Stop;
  struct Case {
    const char* what;
    bool running;
    Display mode;
    bool tracking;
    std::optional<double> start;
    double now;
    Stop stop;
  };
  const Case cases[] = {
      {"no scan", false, Display::compose, false, 100, 100.5, Stop::nothing},
      {"too early", true, Display::compose, false, 100, 100.2, Stop::later},
      {"exactly one second", true, Display::compose, false, 100, 101.0, Stop::later},
      {"after one second", true, Display::compose, false, 100, 101.2, Stop::end},
      {"started at the clock's origin", true, Display::compose, false, 0, 0.5, Stop::later},
      {"never started", true, Display::compose, false, std::nullopt, 101.2, Stop::nothing},
      {"focus ends at once", true, Display::focus, false, 100, 100.1, Stop::endForMode},
      {"top-down ends at once", true, Display::topDown, true, 100, 100.1, Stop::endForMode},
      {"tracking goes on", true, Display::grid, true, 100, 100.1, Stop::restart},
  };
  const auto at = [](double seconds) {
    return platform::Clock::TimePoint{} + std::chrono::duration_cast<platform::Clock::Duration>(
                                              std::chrono::duration<double>(seconds));
  };
  for (const auto& c : cases) {
    std::optional<platform::Clock::TimePoint> start;
    if (c.start) start = at(*c.start);
    EXPECT_EQ(FaceScanRules::stop(c.running, c.mode, c.tracking, start, at(c.now)), c.stop)
        << c.what;
  }
}

TEST(TitleFit, ShrinksTheLongerTitleAPointAtATime) {
  // Seven units of width a character a point.
  auto measure = [](const QString& t, double points) { return t.size() * points * 0.7; };
  EXPECT_TRUE(corvane::TitleFontFit::trackTitleDecides("Detect", "Tracking"));
  EXPECT_FALSE(corvane::TitleFontFit::trackTitleDecides("Detection", "Tracking"));
  EXPECT_EQ(corvane::TitleFontFit::pointSize("Tracking", 90, 12, measure), 12);
  EXPECT_EQ(corvane::TitleFontFit::pointSize("Tracking", 50, 12, measure), 8);
  EXPECT_EQ(corvane::TitleFontFit::pointSize("Tracking", 50, 0, measure), 8);
  EXPECT_EQ(corvane::TitleFontFit::pointSize("Tracking", -5, 12, measure), 1);
}

TEST(BorderButtons, LitStatesAndTipsFollowWhatIsDrawn) {
  using corvane::BorderButtonRules;
  struct Row {
    bool normal, tracking, ignore;
    long ignoreAreas;
    std::array<bool, 3> lit;
    std::array<const char*, 3> tips;
    bool showVisible, showLit;
    const char* showTip;
  };
  const char* n = "control_panel_roi_normal_tip";
  const char* nh = "control_panel_roi_normal_hide_tip";
  const char* t = "control_panel_roi_tracking_tip";
  const char* th = "control_panel_roi_tracking_hide_tip";
  const char* i = "control_panel_roi_ignore_tip";
  const char* ih = "control_panel_roi_ignore_hide_tip";
  const Row rows[] = {
      // Everything drawn: all lit, each tip offers to hide its kind.
      {true, true, true, 2, {true, true, true}, {nh, th, ih}, true, true, ih},
      // The third toggle hid the ignore areas: "Show" goes dark with it.
      {true, true, false, 2, {true, true, false}, {nh, th, i}, true, false, i},
      // Untracked frames hidden (the people found and the drawn areas alike).
      {false, true, true, 1, {false, true, true}, {n, th, ih}, true, true, ih},
      {true, false, true, 1, {true, false, true}, {nh, t, ih}, true, true, ih},
      {false, false, false, 1, {false, false, false}, {n, t, i}, true, false, i},
      // No ignore area: "Show" stands down, unlit, whatever is drawn.
      {true, true, true, 0, {true, true, true}, {nh, th, ih}, false, false, ih},
      {true, true, false, -1, {true, true, false}, {nh, th, i}, false, false, i},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.normal << r.tracking << r.ignore << " " << r.ignoreAreas);
    const auto looks = BorderButtonRules::looks({r.normal, r.tracking, r.ignore}, r.ignoreAreas);
    for (size_t b = 0; b < 3; ++b) {
      EXPECT_EQ(looks.outlines[b].lit, r.lit[b]) << b;
      EXPECT_EQ(looks.outlines[b].tipKey, r.tips[b]) << b;
    }
    EXPECT_EQ(looks.showVisible, r.showVisible);
    EXPECT_EQ(looks.show.lit, r.showLit);
    EXPECT_EQ(looks.show.tipKey, r.showTip);
  }
}

TEST(BorderButtons, EveryTipKeyHasATextInEveryLanguage) {
  const char* keys[] = {"control_panel_roi_normal_tip",   "control_panel_roi_normal_hide_tip",
                        "control_panel_roi_tracking_tip", "control_panel_roi_tracking_hide_tip",
                        "control_panel_roi_ignore_tip",   "control_panel_roi_ignore_hide_tip"};
  for (const char* table :
       {"en.json", "localizable/en.json", "localizable/zh-Hans.json", "localizable/zh-Hant.json"}) {
    QFile file(QStringLiteral(CORVANE_SOURCE_RESOURCES_DIR "/") + table);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << table;
    const QJsonObject texts = QJsonDocument::fromJson(file.readAll()).object();
    for (const char* key : keys) {
      SCOPED_TRACE(std::string(table) + " " + key);
      EXPECT_FALSE(texts.value(key).toString().isEmpty());
    }
  }
  // The first toggle's text names the people found too, not only the areas drawn.
  QFile en(QStringLiteral(CORVANE_SOURCE_RESOURCES_DIR "/localizable/en.json"));
  ASSERT_TRUE(en.open(QIODevice::ReadOnly));
  const QString normal = QJsonDocument::fromJson(en.readAll())
                             .object()
                             .value("control_panel_roi_normal_tip")
                             .toString();
  EXPECT_TRUE(normal.contains("people found"));
}
