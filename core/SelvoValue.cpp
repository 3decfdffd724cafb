#include "SelvoValue.h"

#include <cmath>
#include <limits>

namespace orlith {

SelvoValue::SelvoValue(bool value) : type_(Type::Boolean), bool_(value) {}
SelvoValue::SelvoValue(int value) : type_(Type::Integer), int_(value) {}
SelvoValue::SelvoValue(int64_t value) : type_(Type::Integer), int_(value) {}
SelvoValue::SelvoValue(double value) : type_(Type::Real), real_(value) {}
SelvoValue::SelvoValue(float value) : type_(Type::Real), real_(value) {}
SelvoValue::SelvoValue(const char* value) : type_(Type::String), string_(value ? value : "") {}
SelvoValue::SelvoValue(std::string value) : type_(Type::String), string_(std::move(value)) {}
SelvoValue::SelvoValue(const DoubleRect& value) : type_(Type::Rect), rect_(value) {}
SelvoValue::SelvoValue(SelvoArray value)
    : type_(Type::Array), array_(std::make_unique<SelvoArray>(std::move(value))) {}
SelvoValue::SelvoValue(SelvoDictionary value)
    : type_(Type::Dictionary), dictionary_(std::make_unique<SelvoDictionary>(std::move(value))) {}

SelvoValue::SelvoValue(const SelvoValue& other)
    : type_(other.type_),
      bool_(other.bool_),
      int_(other.int_),
      real_(other.real_),
      rect_(other.rect_),
      string_(other.string_),
      array_(other.array_ ? std::make_unique<SelvoArray>(*other.array_) : nullptr),
      dictionary_(other.dictionary_ ? std::make_unique<SelvoDictionary>(*other.dictionary_)
                                    : nullptr) {}

SelvoValue::SelvoValue(SelvoValue&& other) noexcept
    : type_(other.type_),
      bool_(other.bool_),
      int_(other.int_),
      real_(other.real_),
      rect_(other.rect_),
      string_(std::move(other.string_)),
      array_(std::move(other.array_)),
      dictionary_(std::move(other.dictionary_)) {
  other.type_ = Type::Null;
}

SelvoValue& SelvoValue::operator=(const SelvoValue& other) {
  if (this != &other) *this = SelvoValue(other);
  return *this;
}

SelvoValue& SelvoValue::operator=(SelvoValue&& other) noexcept {
  if (this == &other) return *this;
  type_ = other.type_;
  bool_ = other.bool_;
  int_ = other.int_;
  real_ = other.real_;
  rect_ = other.rect_;
  string_ = std::move(other.string_);
  array_ = std::move(other.array_);
  dictionary_ = std::move(other.dictionary_);
  other.type_ = Type::Null;
  return *this;
}

SelvoValue::~SelvoValue() = default;

std::optional<bool> SelvoValue::toBool() const {
  if (type_ == Type::Boolean) return bool_;
  return std::nullopt;
}

std::optional<int64_t> SelvoValue::toInt() const {
  if (type_ == Type::Integer) return int_;
  if (type_ == Type::Real && std::isfinite(real_) && std::floor(real_) == real_ &&
      real_ >= -9.2e18 && real_ <= 9.2e18) {
    return int64_t(real_);
  }
  return std::nullopt;
}

std::optional<double> SelvoValue::toReal() const {
  if (type_ == Type::Real) return real_;
  if (type_ == Type::Integer) return double(int_);
  return std::nullopt;
}

const std::string* SelvoValue::toString() const {
  return type_ == Type::String ? &string_ : nullptr;
}

std::optional<DoubleRect> SelvoValue::toRect() const {
  if (type_ == Type::Rect) return rect_;
  return std::nullopt;
}

const SelvoArray* SelvoValue::toArray() const {
  return type_ == Type::Array ? array_.get() : nullptr;
}

const SelvoDictionary* SelvoValue::toDictionary() const {
  return type_ == Type::Dictionary ? dictionary_.get() : nullptr;
}

bool SelvoValue::operator==(const SelvoValue& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case Type::Null:
      return true;
    case Type::Boolean:
      return bool_ == other.bool_;
    case Type::Integer:
      return int_ == other.int_;
    case Type::Real:
      return real_ == other.real_;
    case Type::String:
      return string_ == other.string_;
    case Type::Rect:
      return rect_ == other.rect_;
    case Type::Array:
      return *array_ == *other.array_;
    case Type::Dictionary:
      return *dictionary_ == *other.dictionary_;
  }
  return false;
}

}  // namespace orlith
