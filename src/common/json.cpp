#include "common/json.h"

#include <fmt/format.h>
#include <set>
#include <vector>

#include "common/text.h"

namespace wendlebox {

namespace {

struct DuplicateKey {
  std::string key;
};

// Rewrites the library's message "[json.exception.parse_error.101] parse
// error at line 1, column 5: <problem>" as "<problem> at line 1 column 5".
std::string describe_parse_error(const nlohmann::json::parse_error& error) {
  std::string_view message = error.what();
  const std::size_t at = message.find(" at line ");
  const std::size_t colon = message.find(": ", at == std::string_view::npos ? 0 : at);
  if (at == std::string_view::npos || colon == std::string_view::npos) return std::string(message);
  std::string place(message.substr(at + 4, colon - at - 4));  // "line 1, column 5"
  if (const std::size_t comma = place.find(','); comma != std::string::npos) place.erase(comma, 1);
  return fmt::format("{} at {}", message.substr(colon + 2), place);
}

std::string type_name(const Json& value) {
  return value.is_null() ? "null" : std::string(value.type_name());
}

}  // namespace

std::string positioned_error(const std::string& problem, std::string_view text) {
  const std::string_view content = trim(text);
  const std::size_t end = static_cast<std::size_t>(content.data() - text.data()) + content.size();
  std::size_t line = 1, column = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 0;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return fmt::format("{} at line {} column {}", problem, line, column);
}

Result<Json> parse_json(std::string_view text) {
  std::vector<std::set<std::string>> open_objects;
  const Json::parser_callback_t refuse_duplicates = [&](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start: open_objects.emplace_back(); break;
      case Json::parse_event_t::object_end: open_objects.pop_back(); break;
      case Json::parse_event_t::key:
        if (!open_objects.back().emplace(parsed.get<std::string>()).second)
          throw DuplicateKey{parsed.get<std::string>()};
        break;
      default: break;
    }
    return true;
  };
  try {
    return Json::parse(text, refuse_duplicates);
  } catch (const DuplicateKey& duplicate) {
    return failure(positioned_error(fmt::format("duplicate field `{}`", duplicate.key), text));
  } catch (const nlohmann::json::parse_error& error) {
    return failure(describe_parse_error(error));
  } catch (const nlohmann::json::out_of_range& error) {
    // A number too large for a double ("1E400"): the reader throws this
    // one on its own, outside its syntax errors.
    std::string_view what = error.what();
    return failure(std::string(what.substr(what.find(']') + 2)));
  }
}

std::string pretty_json(const Json& value) { return value.dump(2, ' ', false, Json::error_handler_t::replace); }
std::string pretty_json(const OrderedJson& value) {
  return value.dump(2, ' ', false, OrderedJson::error_handler_t::replace);
}
std::string compact_json(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }
std::string compact_json(const OrderedJson& value) {
  return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

Result<JsonFields> JsonFields::of(const Json& value, std::string_view text) {
  if (!value.is_object())
    return failure(positioned_error(fmt::format("invalid type: {}, expected an object", type_name(value)), text));
  return JsonFields(value, text);
}

std::unexpected<Error> JsonFields::error(const std::string& problem) const {
  return failure(positioned_error(problem, text_));
}

const Json* JsonFields::find(const char* key) const {
  const auto found = object_->find(key);
  return found == object_->end() ? nullptr : &*found;
}

Result<std::string> JsonFields::required_string(const char* key) const {
  const Json* value = find(key);
  if (value == nullptr) return error(fmt::format("missing field `{}`", key));
  if (!value->is_string())
    return error(fmt::format("invalid type: {}, expected a string for `{}`", type_name(*value), key));
  return value->get<std::string>();
}

Result<std::optional<std::string>> JsonFields::optional_string(const char* key) const {
  const Json* value = find(key);
  if (value == nullptr || value->is_null()) return std::optional<std::string>();
  if (!value->is_string())
    return error(fmt::format("invalid type: {}, expected a string for `{}`", type_name(*value), key));
  return std::optional<std::string>(value->get<std::string>());
}

Result<std::string> JsonFields::string_or(const char* key, std::string fallback) const {
  const Json* value = find(key);
  if (value == nullptr) return fallback;
  return required_string(key);
}

Result<bool> JsonFields::bool_or(const char* key, bool fallback) const {
  const Json* value = find(key);
  if (value == nullptr) return fallback;
  if (!value->is_boolean())
    return error(fmt::format("invalid type: {}, expected a boolean for `{}`", type_name(*value), key));
  return value->get<bool>();
}

Result<std::uint64_t> JsonFields::required_unsigned(const char* key) const {
  const Json* value = find(key);
  if (value == nullptr) return error(fmt::format("missing field `{}`", key));
  if (!value->is_number_unsigned())
    return error(fmt::format("invalid type: {}, expected an unsigned integer for `{}`", type_name(*value), key));
  return value->get<std::uint64_t>();
}

Result<std::optional<std::uint64_t>> JsonFields::optional_unsigned(const char* key) const {
  const Json* value = find(key);
  if (value == nullptr || value->is_null()) return std::optional<std::uint64_t>();
  return required_unsigned(key);
}

Result<std::optional<bool>> JsonFields::optional_bool(const char* key) const {
  const Json* value = find(key);
  if (value == nullptr || value->is_null()) return std::optional<bool>();
  auto flag = bool_or(key, false);
  if (!flag) return std::unexpected(flag.error());
  return std::optional<bool>(*flag);
}

Status JsonFields::read(std::initializer_list<std::pair<const char*, std::string*>> required) const {
  for (const auto& [key, target] : required) {
    auto value = required_string(key);
    if (!value) return std::unexpected(value.error());
    *target = std::move(*value);
  }
  return {};
}

Status JsonFields::read(std::initializer_list<std::pair<const char*, std::optional<std::string>*>> optional) const {
  for (const auto& [key, target] : optional) {
    auto value = optional_string(key);
    if (!value) return std::unexpected(value.error());
    *target = std::move(*value);
  }
  return {};
}

}  // namespace wendlebox
