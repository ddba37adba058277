// JSON reading and writing with the rules every stored record and message
// follows: a key given twice is an error, trailing text is an error, unknown
// keys are ignored, and errors name the problem and where decoding stopped.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/result.h"

namespace wendlebox {

// Generic values keep their keys sorted; records keep declaration order.
using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

Result<Json> parse_json(std::string_view text);

// Two-space indent, ": " between key and value, no trailing newline.
std::string pretty_json(const Json& value);
std::string pretty_json(const OrderedJson& value);
std::string compact_json(const Json& value);
std::string compact_json(const OrderedJson& value);

// Reads the fields of one decoded JSON object. Each getter fails with a
// message naming the key; "null" counts as absent for optional fields.
class JsonFields {
 public:
  static Result<JsonFields> of(const Json& value, std::string_view text);

  Result<std::string> required_string(const char* key) const;
  Result<std::optional<std::string>> optional_string(const char* key) const;
  // Absent gives the fallback; null is a type error.
  Result<std::string> string_or(const char* key, std::string fallback) const;
  Result<bool> bool_or(const char* key, bool fallback) const;
  Result<std::uint64_t> required_unsigned(const char* key) const;
  // Absent or null gives nullopt.
  Result<std::optional<std::uint64_t>> optional_unsigned(const char* key) const;
  Result<std::optional<bool>> optional_bool(const char* key) const;
  const Json* find(const char* key) const;

  // Reads several fields at once; the first failure is returned.
  Status read(std::initializer_list<std::pair<const char*, std::string*>> required) const;
  Status read(std::initializer_list<std::pair<const char*, std::optional<std::string>*>> optional) const;

  // An error for `problem`, positioned at the end of the decoded text.
  std::unexpected<Error> error(const std::string& problem) const;

 private:
  JsonFields(const Json& object, std::string_view text) : object_(&object), text_(text) {}
  const Json* object_;
  std::string_view text_;
};

// "<problem> at line L column C" for the end of the non-blank text.
std::string positioned_error(const std::string& problem, std::string_view text);

// `text` parsed, then `decode` given the fields of the one object it holds.
template <class Decode>
auto decode_object(std::string_view text, Decode decode) -> decltype(decode(std::declval<const JsonFields&>())) {
  auto value = parse_json(text);
  if (!value) return std::unexpected(value.error());
  auto fields = JsonFields::of(*value, text);
  if (!fields) return std::unexpected(fields.error());
  return decode(*fields);
}

}  // namespace wendlebox
