// The lenient JSON reader of the settings and cloud answers: whatever the text, reading never
// fails but by saying so, the nesting bound holds, the converters stay in range, and what the
// writer prints reads back to the same text.
#include <cmath>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "config/LenientJson.h"

using corvane::LenientJson;

namespace {

void convertEverything(const LenientJson::Json& value) {
  if (auto n = LenientJson::toNumber(value)) (void)*n;
  if (auto b = LenientJson::toBoolean(value)) FUZZ_CHECK(value.is_boolean() || value.is_number());
  if (auto i = LenientJson::toInteger(value); i && value.is_number_float()) {
    FUZZ_CHECK(double(*i) == value.get<double>());
  }
  LenientJson::toString(value);
  LenientJson::toStringList(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  LenientJson::Json value;
  std::string error;
  if (!LenientJson::parse(text, value, &error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(LenientJson::nestedWithin(text));
  convertEverything(value);
  if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      const char* key = it.key().c_str();
      convertEverything(*it);
      LenientJson::integer(value, key);
      LenientJson::boolean(value, key);
      LenientJson::number(value, key);
      LenientJson::string(value, key);
      LenientJson::stringList(value, key);
    }
  } else if (value.is_array()) {
    for (const auto& element : value) convertEverything(element);
  }
  std::string written = LenientJson::compact(LenientJson::OrderedJson(value));
  LenientJson::Json again;
  FUZZ_CHECK(LenientJson::parse(written, again, &error));
  FUZZ_CHECK(LenientJson::compact(LenientJson::OrderedJson(again)) == written);
  return 0;
}
