// Who the bridge listens to: only the paired extension. Each of its requests
// is signed over a fresh nonce with the session's key (made from the
// session's token and the pairing key that setup shared with the
// extension), and the answer is signed with the same key over the same
// nonce. The token itself never travels, so a token that leaked (a shared
// screen, scroll-back, a browser's command line) drives nothing, and a
// process that holds the port learns nothing it can use or replay.
//
// An extension that holds another pairing key (it was not reloaded after
// setup, or a copy from elsewhere is loaded) names its key's identifier,
// never the key: it is told so, and the session hears it once, so that both
// can say what to do. Nothing it is told differs with what it sent.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <variant>

#include "bridge/exchange.h"
#include "bridge/http.h"

namespace wendlebox {

// What the bridge holds of the pairing for one session.
struct BridgeKeys {
  std::string session_key;  // signs requests and answers; empty: nothing is let in
  std::string pairing_id;   // the identifier of the program's pairing key
};

BridgeKeys bridge_keys(std::string_view pairing_key, std::string_view token);

// The request may go on; an answer is signed over `nonce`, unless it is
// empty (a request open to anyone, such as the health check).
struct Admitted {
  std::string nonce;
};

// The request gets `answer` and nothing more; `echo_origin` when its origin
// may read the answer (the extension's, not another site's).
struct Refused {
  http::Response answer;
  bool echo_origin;
};

using Verdict = std::variant<Admitted, Refused>;

class CallerCheck {
 public:
  CallerCheck(int port, BridgeKeys keys, JobExchange& exchange);

  // From the header alone, before anything of a body is read: where the
  // request comes from, and whether it is signed at all, with this
  // program's pairing.
  Verdict head(const http::Request& request);
  // The whole request: the signature itself, each nonce taken once.
  Verdict whole(const http::Request& request);
  // The signature of the answer to an admitted request.
  std::string answer_signature(std::string_view nonce, const http::Response& response) const;

 private:
  int port_;
  BridgeKeys keys_;
  JobExchange& exchange_;
  std::unordered_set<std::string> seen_nonces_{};
  std::deque<std::string> nonce_order_{};
};

}  // namespace wendlebox
