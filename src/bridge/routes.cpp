#include "bridge/routes.h"

#include <algorithm>
#include <string_view>

#include "bridge/wire.h"
#include "common/text.h"

namespace wendlebox {

namespace {

using http::error_response;
using http::Request;
using http::Response;

constexpr unsigned long long kMaxPollWaitSeconds = 30;

// The value of `name` in the target's query, if given.
std::optional<std::string_view> parameter(std::string_view target, std::string_view name) {
  const std::size_t query = target.find('?');
  if (query == std::string_view::npos) return std::nullopt;
  std::string_view rest = target.substr(query + 1);
  while (!rest.empty()) {
    const std::string_view pair = rest.substr(0, rest.find('&'));
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=')
      return pair.substr(name.size() + 1);
    rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
  }
  return std::nullopt;
}

std::optional<Hold> hold_of(const Request& request) {
  unsigned long long seconds = 0;
  const auto wait = parameter(request.target, "wait");
  if (!wait || !parse_unsigned(*wait, seconds) || seconds == 0) return std::nullopt;
  Hold hold{std::chrono::seconds(std::min(seconds, kMaxPollWaitSeconds)), std::nullopt, request.extension_version,
            request.extension_browser};
  unsigned long long id = 0;
  if (const auto unchanged = parameter(request.target, "unchanged"); unchanged && parse_unsigned(*unchanged, id))
    hold.unchanged = id;
  return hold;
}

Response answer_result(JobExchange& exchange, std::string_view body) {
  auto result = decode_job_result(body);
  if (!result) return error_response(400, "Invalid result");
  return delivery_answer(exchange.deliver(std::move(*result)));
}

}  // namespace

bool nothing_new(const std::optional<Job>& offer, const Hold& hold) {
  return hold.unchanged ? offer && offer->id == *hold.unchanged : !offer;
}

Response next_answer(const std::optional<Job>& offer) {
  return offer ? Response{200, job_json(*offer)} : Response{204, {}};
}

Reply route(const Request& request, JobExchange& exchange, const std::string& folder) {
  const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  if (request.method == "GET" && path == "/health") {
    Json health{{"ok", true}};
    if (!folder.empty()) health["folder"] = folder;
    return Response{200, std::move(health)};
  }
  if (request.method == "GET" && path == "/next") {
    const std::optional<Job> offer = exchange.poll(request.extension_version, request.extension_browser);
    if (auto hold = hold_of(request); hold && nothing_new(offer, *hold)) return *hold;
    return next_answer(offer);
  }
  if (request.method == "POST" && path == "/result") return answer_result(exchange, request.body);
  if (request.method == "OPTIONS" && path == "/result") return Response{204, {}};
  return error_response(404, "Unknown request");
}

}  // namespace wendlebox
