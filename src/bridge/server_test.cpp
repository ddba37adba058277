#include "bridge/server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <future>
#include <thread>

#include <fmt/format.h>

#include "bridge/port_holder.h"
#include "bridge/token.h"
#include "common/files.h"
#include "common/random.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace wendlebox {

namespace {

const std::string kPairing(64, 'a');

class Bridge : public testing::Test {
 protected:
  void SetUp() override {
    token_text = *token();
    auto started = BridgeThread::start(0, exchange_, bridge_keys(kPairing, token_text));
    ASSERT_TRUE(started) << started.error();
    bridge = std::move(*started);
    port = bridge->port();
    extension = std::make_unique<FakeExtension>(token_text, kPairing, port);
  }
  void publish(Job job) { exchange_->publish(std::move(job)); }
  // The session's side: takes the result in, if any.
  std::optional<JobResult> collect() { return exchange_->wait(std::chrono::milliseconds(0)).result; }
  // Requests signed as the paired extension signs them.
  HttpReply get(const std::string& target) const { return extension->request("GET", target); }
  HttpReply post(const std::string& target, const std::string& body) const {
    return extension->request("POST", target, body);
  }
  // A signed request whose header lines past the signature are `lines`,
  // followed by `sent`, signed as if its body were `signed_body`.
  HttpReply signed_raw(const std::string& signed_body, const std::string& lines, const std::string& sent) const {
    const std::string nonce = *random_hex(16);
    std::string head = extension->request_bytes("POST", "/result", "", nonce);
    head.resize(head.size() - 2);
    const std::string signature =
        hmac_hex(bridge_keys(kPairing, token_text).session_key, "request\n" + nonce + "\nPOST\n/result\n" + signed_body);
    const std::size_t at = head.find("X-Wendlebox-Signature: ") + 23;
    head.replace(at, signature.size(), signature);
    return exchange(head + lines + "\r\n" + sent);
  }
  HttpReply exchange(const std::string& raw) const { return http_exchange(raw, port); }

  int port = 0;
  std::string token_text;
  std::shared_ptr<JobExchange> exchange_ = std::make_shared<JobExchange>();
  std::unique_ptr<BridgeThread> bridge;
  std::unique_ptr<FakeExtension> extension;
};

// A client connected to the bridge on `port` that has sent nothing yet.
int connect_to(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                            .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return fd;
}

TEST(Token, Is32LowerCaseHexAndFreshEachTime) {
  const std::string a = *token(), b = *token();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
  // The signatures rest on HMAC-SHA256; its known answer keeps it honest.
  EXPECT_EQ(hmac_hex("key", "The quick brown fox jumps over the lazy dog"),
            "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8");
}

TEST_F(Bridge, AnswersWithTheExactHeaderTemplate) {
  HttpReply r = get("/health");
  EXPECT_EQ(r.head,
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nCache-Control: no-store\r\n"
            "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
            "Access-Control-Allow-Headers: Content-Type\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(r.body, "{\"ok\":true}");
}

TEST_F(Bridge, OnlyTheExtensionIsAnsweredAcrossOrigins) {
  const auto request = [&](const std::string& headers) { return exchange("GET /health HTTP/1.1\r\n" + headers + "\r\n"); };
  const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
  HttpReply extension = request(host + "Origin: chrome-extension://abcdefghijklmnop\r\n");
  EXPECT_EQ(extension.status, 200);
  EXPECT_NE(extension.head.find("\r\nAccess-Control-Allow-Origin: chrome-extension://abcdefghijklmnop\r\n"),
            std::string::npos);
  EXPECT_EQ(request("Host: localhost:" + std::to_string(port) + "\r\n").status, 200);
  EXPECT_EQ(request("").status, 200);  // a local tool may send neither
  for (const std::string& refused : {"Host: evil.example:" + std::to_string(port) + "\r\n",
                                     host + "Origin: https://evil.example\r\n", host + "Origin: null\r\n"}) {
    HttpReply r = request(refused);
    EXPECT_EQ(r.status, 403) << refused;
    EXPECT_EQ(r.head.find("Access-Control-Allow-Origin"), std::string::npos);
  }
}

struct RouteCase {
  std::string request;  // {t} stands for the session token
  int status;
  std::string body;
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.request; }

class Unsigned : public Bridge, public testing::WithParamInterface<RouteCase> {};

// Only the paired extension is heard: the token in the address, which any
// leak of the page's address gives away, opens nothing, nor does a proof
// of holding it.
TEST_P(Unsigned, RequestsAreRefusedWhateverTheyCarry) {
  std::string request = GetParam().request;
  for (std::size_t at; (at = request.find("{t}")) != std::string::npos;) request.replace(at, 3, token_text);
  publish(Job{"secret prompt", {}, 1});
  HttpReply r = exchange(request + "\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n{\"id\":1,\"text\":\"x\"}");
  EXPECT_EQ(r.status, GetParam().status) << r.head;
  EXPECT_EQ(r.body, GetParam().body);
  EXPECT_EQ(r.head.find("X-Wendlebox-Signature"), std::string::npos) << r.head;
  EXPECT_FALSE(collect());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Unsigned,
    testing::Values(RouteCase{"GET /next?token={t} HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"GET /next?x=1&token={t}&wait=1 HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"POST /result?token={t} HTTP/1.1\r\nContent-Length: 19", 403,
                              "{\"error\":\"Invalid session\"}"},
                    RouteCase{"OPTIONS /result?token={t} HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"GET /hello?challenge=cafebabecafebabecafebabecafebabe HTTP/1.1", 403,
                              "{\"error\":\"Invalid session\"}"},
                    RouteCase{"GET /next HTTP/1.1\r\nX-Wendlebox-Nonce: {t}\r\nX-Wendlebox-Signature: {t}", 403,
                              "{\"error\":\"Invalid session\"}"},
                    RouteCase{"GET", 400, "{\"error\":\"Bad request\"}"}));

class Signed : public Bridge, public testing::WithParamInterface<RouteCase> {};

TEST_P(Signed, RequestsFollowThePathRulesAndGetSignedAnswers) {
  const std::string& request = GetParam().request;
  const std::size_t space = request.find(' ');
  HttpReply r = extension->request(request.substr(0, space), request.substr(space + 1));
  EXPECT_EQ(r.status, GetParam().status) << r.head;
  EXPECT_EQ(r.body, GetParam().body);
  EXPECT_EQ(r.signed_answer, request != "GET /health") << r.head;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Signed,
    testing::Values(RouteCase{"GET /health", 200, "{\"ok\":true}"}, RouteCase{"GET /next", 204, ""},
                    RouteCase{"GET /next?x=1", 204, ""}, RouteCase{"get /next", 404, "{\"error\":\"Unknown request\"}"},
                    RouteCase{"GET /Next", 404, "{\"error\":\"Unknown request\"}"},
                    RouteCase{"OPTIONS /result", 204, ""},
                    RouteCase{"GET /hello?challenge=cafebabecafebabecafebabecafebabe", 404,
                              "{\"error\":\"Unknown request\"}"},
                    RouteCase{"DELETE /x", 404, "{\"error\":\"Unknown request\"}"}));

// A signature made with the token alone, as a program that only knows a
// token would make it, a wrong one, or a nonce used before is refused,
// unsigned; a bridge with no session key takes no signed request at all.
TEST(SignedBridge, TakesOnlyRequestsSignedWithTheSessionKeyOnce) {
  const std::string token_text = "0123456789abcdef0123456789abcdef";
  const std::string key = session_key(kPairing, token_text);
  auto exchange = std::make_shared<JobExchange>();
  exchange->publish(Job{"p", {}, 1});
  auto bridge = BridgeThread::start(0, exchange, bridge_keys(kPairing, token_text));
  auto unkeyed = BridgeThread::start(0, exchange, BridgeKeys{});
  ASSERT_TRUE(bridge && unkeyed);
  const auto signed_get = [](int port, const std::string& nonce, const std::string& signing_key) {
    return http_exchange("GET /next HTTP/1.1\r\nX-Wendlebox-Nonce: " + nonce + "\r\nX-Wendlebox-Signature: " +
                         hmac_hex(signing_key, "request\n" + nonce + "\nGET\n/next\n") + "\r\n\r\n", port);
  };
  const int port = (*bridge)->port();
  const std::string nonce = "00112233445566778899aabbccddeeff";
  HttpReply r = signed_get(port, nonce, key);
  ASSERT_EQ(r.status, 200) << r.head;
  EXPECT_NE(r.head.find("\r\nX-Wendlebox-Signature: " + hmac_hex(key, "answer\n" + nonce + "\n200\n" + r.body) + "\r\n"),
            std::string::npos) << r.head;
  const std::string other = "ffeeddccbbaa99887766554433221100";
  for (const HttpReply& refused : {signed_get(port, nonce, key), signed_get(port, other, token_text),
                                   signed_get(port, other, "not the key"), signed_get((*unkeyed)->port(), other, "")}) {
    EXPECT_EQ(refused.status, 403) << refused.head;
    EXPECT_EQ(refused.body, "{\"error\":\"Invalid session\"}");
    EXPECT_EQ(refused.head.find("X-Wendlebox-Signature"), std::string::npos) << refused.head;
  }
}

// An extension that holds another pairing key (not reloaded after setup,
// or a copy from elsewhere) is told so, before any body is read, and the
// session hears it once however often it or anyone else asks. The answer is
// the same whatever the signature: a local client learns nothing from it.
TEST_F(Bridge, AnotherPairingKeyIsToldSoAndTheSessionHearsItOnce) {
  publish(Job{"secret prompt", {}, 1});
  FakeExtension stale(token_text, std::string(64, 'b'), port);
  HttpReply r = stale.request("GET", "/next");
  EXPECT_EQ(r.status, 403);
  EXPECT_EQ(r.body, "{\"error\":\"Pairing mismatch\"}");
  EXPECT_FALSE(r.signed_answer);
  EXPECT_TRUE(exchange_->wait(std::chrono::seconds(30)).pairing_mismatch);
  const std::string other_id = pairing_id(std::string(64, 'b'));
  for (const std::string& raw :
       {"POST /result HTTP/1.1\r\nContent-Length: 1999999\r\nX-Wendlebox-Nonce: " + token_text +
            "\r\nX-Wendlebox-Signature: x\r\nX-Wendlebox-Pairing: " + other_id + "\r\n\r\n",
        "GET /next HTTP/1.1\r\nX-Wendlebox-Nonce: " + token_text + "\r\nX-Wendlebox-Signature: x\r\n"
            "X-Wendlebox-Pairing: 0000000000000000\r\n\r\n"})
    EXPECT_EQ(exchange(raw).body, r.body) << raw;
  const JobExchange::Seen later = exchange_->wait(std::chrono::milliseconds(200));
  EXPECT_FALSE(later.pairing_mismatch);
  EXPECT_FALSE(later.connected);  // no poll reached the job
  // The program's own identifier with a wrong signature is a plain refusal.
  HttpReply forged = exchange("GET /next HTTP/1.1\r\nX-Wendlebox-Nonce: " + token_text +
                              "\r\nX-Wendlebox-Signature: x\r\nX-Wendlebox-Pairing: " + pairing_id(kPairing) + "\r\n\r\n");
  EXPECT_EQ(forged.body, "{\"error\":\"Invalid session\"}");
  EXPECT_EQ(get("/next").status, 200);  // the paired extension is served all along
}

TEST_F(Bridge, NoContentHasAZeroLengthAndNoBody) {
  HttpReply r = get("/next");
  EXPECT_NE(r.head.find("HTTP/1.1 204 No Content\r\n"), std::string::npos);
  EXPECT_NE(r.head.find("Content-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(r.body, "");
}

TEST_F(Bridge, EveryPollSetsConnectedAndWakesTheSession) {
  publish(Job{"hello", {}, 1});
  std::thread poller([&] { get("/next"); });
  const bool woke = exchange_->wait(std::chrono::seconds(30)).connected;
  poller.join();
  EXPECT_TRUE(woke);
}

TEST_F(Bridge, OffersTheJobUntilItsResultIsStored) {
  publish(Job{"héllo", {}, 1});
  HttpReply first = get("/next");
  EXPECT_EQ(first.body, "{\"id\":1,\"prompt\":\"héllo\"}");
  EXPECT_EQ(get("/next").body, first.body);
  EXPECT_EQ(post("/result", R"({"id":1,"text":"a"})").body, "{\"ok\":true}");
  EXPECT_EQ(get("/next").status, 204);
}

// A poll that asks to wait is held until there is news: a job published,
// or (with `unchanged`) the job it knows withdrawn; else 204 when its time is up.
TEST_F(Bridge, APollThatWaitsIsHeldUntilThereIsNews) {
  exchange_->publish(Job{"first", {}, 1});
  exchange_->withdraw();
  auto held = std::async(std::launch::async, [&] { return get("/next?wait=30"); });
  ASSERT_TRUE(exchange_->wait(std::chrono::seconds(30)).connected);  // the poll reached the bridge, no job there
  publish(Job{"hello", {}, 2});
  EXPECT_EQ(held.get().body, "{\"id\":2,\"prompt\":\"hello\"}");

  publish(Job{"again", {}, 3});
  auto watching = std::async(std::launch::async, [&] { return get("/next?wait=30&unchanged=3"); });
  ASSERT_TRUE(exchange_->wait(std::chrono::seconds(30)).connected);
  exchange_->withdraw();
  EXPECT_EQ(watching.get().status, 204);

  EXPECT_EQ(get("/next?wait=1").status, 204);  // nothing came
}

TEST_F(Bridge, JobKeysAreSortedAndAttachmentsListedWhenPresent) {
  publish(Job{"p", {Attachment{"a.png", "image/png", "AAAA"}}, 3});
  EXPECT_EQ(get("/next").body,
            R"({"attachments":[{"base64":"AAAA","mime":"image/png","name":"a.png"}],"id":3,"prompt":"p"})");
}

TEST_F(Bridge, ResultsForTheJobReplaceOldOnesAndLaterRepeatsAreDuplicates) {
  publish(Job{"p", {}, 7});
  EXPECT_EQ(post("/result", R"({"id":7,"text":"first"})").body, "{\"ok\":true}");
  EXPECT_EQ(post("/result", R"({"id":7,"text":"second","url":null,"extra":1})").body, "{\"ok\":true}");
  const std::optional<JobResult> result = collect();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->text, "second");
  EXPECT_FALSE(result->url);
  EXPECT_EQ(post("/result", R"({"id":7,"text":"again"})").body, "{\"duplicate\":true,\"ok\":true}");
  HttpReply old = post("/result", R"({"id":6,"text":"old"})");
  EXPECT_EQ(old.status, 409);
  EXPECT_EQ(old.body, "{\"error\":\"Old result\"}");
}

TEST_F(Bridge, InvalidResultsAreRejected) {
  publish(Job{"p", {}, 1});
  for (const char* body : {R"({"text":"hi"})", R"({"id":-1})", R"({"id":1.5})", R"({"id":1,"id":1})",
                           R"({"id":1} x)", R"({"id":1,"text":5})", "", "[1]"}) {
    HttpReply r = post("/result", body);
    EXPECT_EQ(r.status, 400) << body;
    EXPECT_EQ(r.body, "{\"error\":\"Invalid result\"}") << body;
  }
  EXPECT_FALSE(collect());
}

TEST_F(Bridge, ContentLengthNeedsTheExactNameButAcceptsCaseAndPlus) {
  publish(Job{"p", {}, 1});
  const std::string body = R"({"id":1,"text":"x"})";
  HttpReply blank = signed_raw("", "Content-Length : 19\r\n", body);
  EXPECT_EQ(blank.status, 400) << blank.head;  // no length recognised, so the body is empty
  HttpReply plus = signed_raw(body, "content-LENGTH: +19\r\n", body + "trailing bytes are ignored");
  EXPECT_EQ(plus.status, 200) << plus.head;
}

TEST_F(Bridge, OversizeRequestsGet413) {
  HttpReply big = exchange("POST /result HTTP/1.1\r\nContent-Length: 2000001\r\n\r\n");
  EXPECT_TRUE(big.head.starts_with("HTTP/1.1 413 Error\r\n"));
  EXPECT_EQ(big.body, "{\"error\":\"Request too large\"}");
  // A header is small: one past 16 KB is refused before anything else is read.
  HttpReply endless = exchange("GET /health HTTP/1.1\r\nX: " + std::string(16 * 1024, 'a'));
  EXPECT_TRUE(endless.head.starts_with("HTTP/1.1 413 Error\r\n"));
  std::string largest = R"({"id":1,"text":")" + std::string(2'000'000 - 18, 'b') + "\"}";
  ASSERT_EQ(largest.size(), 2'000'000u);
  publish(Job{"p", {}, 1});
  EXPECT_EQ(post("/result", largest).status, 200);
}

// Nothing of a body is read before the header passed: a client that does
// not sign is refused as soon as its header is in, its body never sent.
TEST_F(Bridge, ABodyWithoutCredentialsIsRefusedBeforeItIsRead) {
  HttpReply r = exchange("POST /result HTTP/1.1\r\nContent-Length: 1999999\r\n\r\n");
  EXPECT_EQ(r.status, 403);
  EXPECT_EQ(r.body, "{\"error\":\"Invalid session\"}");
}

TEST_F(Bridge, ASilentClientIsDroppedAfterTheTimeoutAndTheNextOneServed) {
  const int silent = connect_to(port);
  // A header block ending in LF LF is never complete either.
  ASSERT_GT(::send(silent, "GET /health HTTP/1.1\n\n", 22, 0), 0);
  std::thread second([this] { EXPECT_EQ(get("/health").status, 200); });
  char byte;
  EXPECT_EQ(::recv(silent, &byte, 1, 0), 0);  // closed without a response
  second.join();
  ::close(silent);
}

TEST_F(Bridge, APollIsAnsweredWhileHundredsOfIdleAndSlowClientsHoldConnections) {
  std::vector<int> idle;
  for (int i = 0; i < 501; ++i) idle.push_back(connect_to(port));
  ASSERT_GT(::send(idle.back(), "GET /hea", 8, 0), 0);  // one that sends a little now and then
  auto poll = std::async(std::launch::async, [&] { return get("/next").status; });
  ASSERT_EQ(poll.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(poll.get(), 204);
  for (int fd : idle) ::close(fd);
}

// A browser sends a request's header and body apart: a flood of
// connections that send nothing must not push it out in between.
TEST_F(Bridge, ARequestWhoseBodyIsStillComingOutlastsAFloodOfSilentConnections) {
  publish(Job{"p", {}, 1});
  const std::string body = R"({"id":1,"text":"hi"})";
  const int sending = connect_to(port);
  const std::string request = extension->request_bytes("POST", "/result", body, "00112233445566778899aabbccddeeff");
  const std::string head = request.substr(0, request.size() - body.size());
  ASSERT_EQ(::send(sending, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(get("/health").status, 200);  // the header is in before the flood
  std::vector<int> silent;
  for (int i = 0; i < 200; ++i) silent.push_back(connect_to(port));
  ASSERT_EQ(get("/health").status, 200);  // and the flood has been taken in
  ASSERT_EQ(::send(sending, body.data(), body.size(), 0), static_cast<ssize_t>(body.size()));
  std::string answer;
  char chunk[512];
  for (ssize_t n; (n = ::recv(sending, chunk, sizeof chunk, 0)) > 0;) answer.append(chunk, static_cast<std::size_t>(n));
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
  const std::optional<JobResult> taken = collect();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->text, "hi");
  for (int fd : silent) ::close(fd);
  ::close(sending);
}

TEST_F(Bridge, ASecondListenerIsRefused) {
  auto second = bind_bridge_listener(port);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().message, "Another Wendlebox session is already using port " + std::to_string(port) +
                                ". Finish it first (/exit or Ctrl+C in its terminal).");
}

}  // namespace

}  // namespace wendlebox
