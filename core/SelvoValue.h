#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DoubleRect.h"

namespace orlith {

class SelvoValue;
using SelvoArray = std::vector<SelvoValue>;
using SelvoDictionary = std::map<std::string, SelvoValue>;

// One value of the dictionary form in which records leave the framework: nothing, a Boolean,
// an integer, a real, a text, a rectangle, an array or a dictionary. Integers and reals are kept
// apart, so a value comes back exactly as it went in; copies are deep.
class SelvoValue {
 public:
  enum class Type { Null, Boolean, Integer, Real, String, Rect, Array, Dictionary };

  SelvoValue() = default;
  SelvoValue(bool value);
  SelvoValue(int value);
  SelvoValue(int64_t value);
  SelvoValue(double value);
  SelvoValue(float value);
  SelvoValue(const char* value);
  SelvoValue(std::string value);
  SelvoValue(const DoubleRect& value);
  SelvoValue(SelvoArray value);
  SelvoValue(SelvoDictionary value);

  SelvoValue(const SelvoValue& other);
  SelvoValue(SelvoValue&& other) noexcept;
  SelvoValue& operator=(const SelvoValue& other);
  SelvoValue& operator=(SelvoValue&& other) noexcept;
  ~SelvoValue();

  Type type() const { return type_; }
  bool isNull() const { return type_ == Type::Null; }

  // Each gives the value only when it has that type (a real that is whole also counts as an
  // integer, and an integer as a real); otherwise nothing.
  std::optional<bool> toBool() const;
  std::optional<int64_t> toInt() const;
  std::optional<double> toReal() const;
  const std::string* toString() const;
  std::optional<DoubleRect> toRect() const;
  const SelvoArray* toArray() const;
  const SelvoDictionary* toDictionary() const;

  bool operator==(const SelvoValue& other) const;

 private:
  Type type_ = Type::Null;
  bool bool_ = false;
  int64_t int_ = 0;
  double real_ = 0;
  DoubleRect rect_;
  std::string string_;
  std::unique_ptr<SelvoArray> array_;
  std::unique_ptr<SelvoDictionary> dictionary_;
};

}  // namespace orlith
