// The cloud's answers, read into their records: a record that reads is written back, and what
// was written reads again into the same record (the same text when written once more).
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "cloud/AdDataModel.h"
#include "cloud/CheckDataModel.h"
#include "cloud/CheckModel.h"
#include "cloud/CompanyDataModel.h"
#include "cloud/CompanyModel.h"
#include "cloud/MessageModel.h"
#include "cloud/NotificationModel.h"
#include "config/LenientJson.h"

using corvane::LenientJson;

namespace {

template <typename Record>
void roundTrip(const nlohmann::json& value) {
  std::string error;
  auto record = Record::fromJson(value, &error);
  if (!record) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  std::string written = LenientJson::compact(record->toJson());
  nlohmann::json back;
  FUZZ_CHECK(LenientJson::parse(written, back, &error));
  auto again = Record::fromJson(back, &error);
  FUZZ_CHECK(again);
  FUZZ_CHECK(LenientJson::compact(again->toJson()) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nlohmann::json value;
  if (!LenientJson::parse(std::string(reinterpret_cast<const char*>(data), size), value)) return 0;
  roundTrip<corvane::CheckModel>(value);
  roundTrip<corvane::CompanyModel>(value);
  roundTrip<corvane::MessageModel>(value);
  roundTrip<corvane::NotificationModel>(value);
  // The nested records on their own, as the envelope's "data" hands them over.
  if (value.is_object() && value.contains("data")) {
    const nlohmann::json& inner = value["data"];
    roundTrip<corvane::CheckDataModel>(inner);
    roundTrip<corvane::CompanyDataModel>(inner);
    roundTrip<corvane::AdDataModel>(inner);
  }
  return 0;
}
