// What the bridge answers to a request it has let in (bridge/auth.h): the
// health check, the poll for the job, the result, the preflight.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "bridge/exchange.h"
#include "bridge/http.h"

namespace wendlebox {

// A poll that asked to wait: until a job is there, or, with `unchanged`,
// until the job offered is no longer that one.
struct Hold {
  std::chrono::seconds wait;
  std::optional<std::uint64_t> unchanged;
  std::optional<std::string> extension_version;
  std::optional<std::string> extension_browser;
};

// What a request gets: an answer now, or (a poll that asked to wait for
// news) to be held.
using Reply = std::variant<http::Response, Hold>;

// `GET /next?wait=<seconds>` (at most 30) is held until a job is there or
// the time is up; with `&unchanged=<id>`, until the job offered is no longer
// that one. `GET /health`, which anyone on the machine may ask, names the
// session's working `folder` (when known) and nothing else: a session that
// finds every port taken says whose session holds the first one.
Reply route(const http::Request& request, JobExchange& exchange, const std::string& folder = {});

// Whether a held poll still has nothing to be told.
bool nothing_new(const std::optional<Job>& offer, const Hold& hold);

// The answer to a poll: the job offered, or nothing.
http::Response next_answer(const std::optional<Job>& offer);

}  // namespace wendlebox
