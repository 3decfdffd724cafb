#include "SelvoRoiPair.h"

#include <cmath>

namespace orlith {

namespace {

const SelvoValue* find(const SelvoDictionary& data, const char* key) {
  auto it = data.find(key);
  return it == data.end() ? nullptr : &it->second;
}

void take(const SelvoDictionary& data, const char* key, std::string& field) {
  if (auto v = find(data, key)) {
    if (auto s = v->toString()) field = *s;
  }
}

void take(const SelvoDictionary& data, const char* key, bool& field) {
  if (auto v = find(data, key)) {
    if (auto b = v->toBool()) field = *b;
  }
}

void take(const SelvoDictionary& data, const char* key, int64_t& field) {
  if (auto v = find(data, key)) {
    if (auto i = v->toInt()) field = *i;
  }
}

void take(const SelvoDictionary& data, const char* key, float& field) {
  if (auto v = find(data, key)) {
    if (auto r = v->toReal(); r && std::isfinite(*r)) field = float(*r);
  }
}

void take(const SelvoDictionary& data, const char* key, SelvoRect& field) {
  if (auto v = find(data, key)) {
    if (auto d = v->toDictionary()) field = SelvoRect(*d);
  }
}

// An array counts only when every element is an integer; otherwise the field stays.
void take(const SelvoDictionary& data, const char* key, std::vector<int64_t>& field) {
  auto v = find(data, key);
  if (!v) return;
  auto array = v->toArray();
  if (!array) return;
  std::vector<int64_t> values;
  values.reserve(array->size());
  for (const auto& element : *array) {
    auto i = element.toInt();
    if (!i) return;
    values.push_back(*i);
  }
  field = std::move(values);
}

}  // namespace

SelvoRoiPair::SelvoRoiPair(const SelvoDictionary& data) {
  if (data.empty()) return;
  take(data, "name", name);
  take(data, "company", company);
  take(data, "title", title);
  take(data, "src_rect", src_rect);
  take(data, "dst_rect", dst_rect);
  take(data, "scale", scale);
  take(data, "is_dashed_line", is_dashed_line);
  take(data, "edge_config", edge_config);
  take(data, "has_border", has_border);
  take(data, "has_pin_icon", has_pin_icon);
  take(data, "has_voice_indicator_icon", has_voice_indicator_icon);
  take(data, "has_anchor_point", has_anchor_point);
  take(data, "has_banner_drag_icon", has_banner_drag_icon);
  take(data, "has_ignore_icon", has_ignore_icon);
  take(data, "type", type);
  take(data, "has_nametag", has_nametag);
  take(data, "has_nametag_inside", has_nametag_inside);
  take(data, "has_nametag_outside", has_nametag_outside);
  take(data, "roi_id", roi_id);
}

SelvoDictionary SelvoRoiPair::dictionary() const {
  SelvoArray edges;
  edges.reserve(edge_config.size());
  for (int64_t e : edge_config) edges.emplace_back(e);
  return SelvoDictionary{
      {"roi_id", SelvoValue(roi_id)},
      {"name", SelvoValue(name)},
      {"company", SelvoValue(company)},
      {"title", SelvoValue(title)},
      {"scale", SelvoValue(scale)},
      {"is_dashed_line", SelvoValue(is_dashed_line)},
      {"edge_config", SelvoValue(std::move(edges))},
      {"has_border", SelvoValue(has_border)},
      {"has_pin_icon", SelvoValue(has_pin_icon)},
      {"has_voice_indicator_icon", SelvoValue(has_voice_indicator_icon)},
      {"has_anchor_point", SelvoValue(has_anchor_point)},
      {"has_banner_drag_icon", SelvoValue(has_banner_drag_icon)},
      {"has_ignore_icon", SelvoValue(has_ignore_icon)},
      {"has_nametag", SelvoValue(has_nametag)},
      {"has_nametag_inside", SelvoValue(has_nametag_inside)},
      {"has_nametag_outside", SelvoValue(has_nametag_outside)},
      {"src_rect", SelvoValue(src_rect.dictionary())},
      {"dst_rect", SelvoValue(dst_rect.dictionary())},
      {"type", SelvoValue(type)},
  };
}

}  // namespace orlith
