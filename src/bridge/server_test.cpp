#include "bridge/server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <future>
#include <thread>

#include <fmt/format.h>

#include "bridge/token.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace {

class Bridge : public testing::Test {
 protected:
  void SetUp() override {
    token_text = *token();
    auto started = BridgeThread::start(0, exchange_, token_text);
    ASSERT_TRUE(started) << started.error();
    bridge = std::move(*started);
    port = bridge->port();
  }
  void publish(Job job) { exchange_->publish(std::move(job)); }
  // The session's side: takes the result in, if any.
  std::optional<BrowserResult> collect() { return exchange_->wait(std::chrono::milliseconds(0)).result; }
  std::string with_token(const std::string& path) { return path + "?token=" + token_text; }
  HttpReply get(const std::string& target) const { return http_get(target, port); }
  HttpReply post(const std::string& target, const std::string& body) const { return http_post(target, body, port); }
  HttpReply exchange(const std::string& raw) const { return http_exchange(raw, port); }

  int port = 0;
  std::string token_text;
  std::shared_ptr<JobExchange> exchange_ = std::make_shared<JobExchange>();
  std::unique_ptr<BridgeThread> bridge;
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
  std::string request_line;  // {t} stands for the session token
  int status;
  std::string body;
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.request_line; }

class Routes : public Bridge, public testing::WithParamInterface<RouteCase> {};

TEST_P(Routes, FollowTheTokenAndPathRules) {
  std::string line = GetParam().request_line;
  if (auto at = line.find("{t}"); at != std::string::npos) line.replace(at, 3, token_text);
  HttpReply r = exchange(line + "\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
  EXPECT_EQ(r.status, GetParam().status) << r.head;
  EXPECT_EQ(r.body, GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Routes,
    testing::Values(RouteCase{"GET /health HTTP/1.1", 200, "{\"ok\":true}"},
                    RouteCase{"GET /health?token=wrong HTTP/1.1", 200, "{\"ok\":true}"},
                    RouteCase{"GET /next?token={t} HTTP/1.1", 204, ""},
                    RouteCase{"GET /next?token={t}&x=1 HTTP/1.1", 204, ""},
                    RouteCase{"GET /next?x=1&token={t} HTTP/1.1", 204, ""},
                    RouteCase{"GET /next?token={t}x HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"GET /next HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"GET /next?token=%41{t} HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"get /next?token={t} HTTP/1.1", 404, "{\"error\":\"Unknown request\"}"},
                    RouteCase{"GET /Next?token={t} HTTP/1.1", 404, "{\"error\":\"Unknown request\"}"},
                    RouteCase{"OPTIONS /result?token={t} HTTP/1.1", 204, ""},
                    RouteCase{"OPTIONS /result HTTP/1.1", 403, "{\"error\":\"Invalid session\"}"},
                    RouteCase{"DELETE /x?token={t} HTTP/1.1", 404, "{\"error\":\"Unknown request\"}"},
                    RouteCase{"GET", 400, "{\"error\":\"Bad request\"}"}));

TEST(BridgeProof, AnswersAChallengeWithTheTokensHmacAndNothingElse) {
  auto bridge = BridgeThread::start(0, std::make_shared<JobExchange>(), "0123456789abcdef0123456789abcdef");
  ASSERT_TRUE(bridge) << bridge.error();
  const int port = (*bridge)->port();
  HttpReply proof = http_get("/hello?challenge=cafebabecafebabecafebabecafebabe", port);
  EXPECT_EQ(proof.status, 200);
  EXPECT_EQ(proof.body, "{\"proof\":\"df1a09ec975204b7127bb8ab1f4734f91707de56ac034d206454a558db08e60c\"}");
  for (const char* bad : {"/hello", "/hello?challenge=cafe", "/hello?challenge=CAFEBABECAFEBABECAFEBABECAFEBABE"})
    EXPECT_EQ(http_get(bad, port).status, 400) << bad;
}

// Signatures are made with the program's own hmac_hex: the challenge's
// known answer above keeps it honest.

// A request signed with the session's key (made from the token and the
// pairing key) over a fresh nonce needs no token, and its answer is signed
// with that key over the same nonce. A signature made with the token alone,
// as a program that only knows a token would make it, a wrong one, or a
// nonce used before is refused, unsigned; a bridge with no signing key
// takes no signed request at all.
TEST(SignedBridge, TakesOnlyRequestsSignedWithTheSessionKeyAndSignsItsAnswers) {
  const std::string token_text = "0123456789abcdef0123456789abcdef";
  const std::string key = session_key(std::string(64, 'a'), token_text);
  auto exchange = std::make_shared<JobExchange>();
  exchange->publish(Job{"p", {}, 1});
  auto bridge = BridgeThread::start(0, exchange, token_text, key);
  auto unkeyed = BridgeThread::start(0, exchange, token_text);
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
    EXPECT_EQ(refused.head.find("X-Wendlebox-Signature"), std::string::npos) << refused.head;
  }
}

TEST_F(Bridge, NoContentHasAZeroLengthAndNoBody) {
  HttpReply r = get(with_token("/next"));
  EXPECT_NE(r.head.find("HTTP/1.1 204 No Content\r\n"), std::string::npos);
  EXPECT_NE(r.head.find("Content-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(r.body, "");
}

TEST_F(Bridge, EveryPollSetsConnectedAndWakesTheSession) {
  publish(Job{"hello", {}, 1});
  std::thread poller([&] { get(with_token("/next")); });
  const bool woke = exchange_->wait(std::chrono::seconds(30)).connected;
  poller.join();
  EXPECT_TRUE(woke);
}

TEST_F(Bridge, OffersTheJobUntilItsResultIsStored) {
  publish(Job{"héllo", {}, 1});
  HttpReply first = get(with_token("/next"));
  EXPECT_EQ(first.body, "{\"id\":1,\"prompt\":\"héllo\"}");
  EXPECT_EQ(get(with_token("/next")).body, first.body);
  EXPECT_EQ(post(with_token("/result"), R"({"id":1,"text":"a"})").body, "{\"ok\":true}");
  EXPECT_EQ(get(with_token("/next")).status, 204);
}

// A poll that asks to wait is held until there is news: a job published,
// or (with `unchanged`) the job it knows withdrawn; else 204 when its time is up.
TEST_F(Bridge, APollThatWaitsIsHeldUntilThereIsNews) {
  exchange_->publish(Job{"first", {}, 1});
  exchange_->withdraw();
  auto held = std::async(std::launch::async, [&] { return get(with_token("/next") + "&wait=30"); });
  ASSERT_TRUE(exchange_->wait(std::chrono::seconds(30)).connected);  // the poll reached the bridge, no job there
  publish(Job{"hello", {}, 2});
  EXPECT_EQ(held.get().body, "{\"id\":2,\"prompt\":\"hello\"}");

  publish(Job{"again", {}, 3});
  auto watching = std::async(std::launch::async, [&] { return get(with_token("/next") + "&wait=30&unchanged=3"); });
  ASSERT_TRUE(exchange_->wait(std::chrono::seconds(30)).connected);
  exchange_->withdraw();
  EXPECT_EQ(watching.get().status, 204);

  EXPECT_EQ(get(with_token("/next") + "&wait=1").status, 204);  // nothing came
}

TEST_F(Bridge, JobKeysAreSortedAndAttachmentsListedWhenPresent) {
  publish(Job{"p", {Attachment{"a.png", "image/png", "AAAA"}}, 3});
  EXPECT_EQ(get(with_token("/next")).body,
            R"({"attachments":[{"base64":"AAAA","mime":"image/png","name":"a.png"}],"id":3,"prompt":"p"})");
}

TEST_F(Bridge, ResultsForTheJobReplaceOldOnesAndLaterRepeatsAreDuplicates) {
  publish(Job{"p", {}, 7});
  EXPECT_EQ(post(with_token("/result"), R"({"id":7,"text":"first"})").body, "{\"ok\":true}");
  EXPECT_EQ(post(with_token("/result"), R"({"id":7,"text":"second","url":null,"extra":1})").body, "{\"ok\":true}");
  const std::optional<BrowserResult> result = collect();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->text, "second");
  EXPECT_FALSE(result->url);
  EXPECT_EQ(post(with_token("/result"), R"({"id":7,"text":"again"})").body, "{\"duplicate\":true,\"ok\":true}");
  HttpReply old = post(with_token("/result"), R"({"id":6,"text":"old"})");
  EXPECT_EQ(old.status, 409);
  EXPECT_EQ(old.body, "{\"error\":\"Old result\"}");
}

TEST_F(Bridge, InvalidResultsAreRejected) {
  publish(Job{"p", {}, 1});
  for (const char* body : {R"({"text":"hi"})", R"({"id":-1})", R"({"id":1.5})", R"({"id":1,"id":1})",
                           R"({"id":1} x)", R"({"id":1,"text":5})", "", "[1]"}) {
    HttpReply r = post(with_token("/result"), body);
    EXPECT_EQ(r.status, 400) << body;
    EXPECT_EQ(r.body, "{\"error\":\"Invalid result\"}") << body;
  }
  EXPECT_FALSE(collect());
}

TEST_F(Bridge, ContentLengthNeedsTheExactNameButAcceptsCaseAndPlus) {
  publish(Job{"p", {}, 1});
  const std::string body = R"({"id":1,"text":"x"})";
  HttpReply blank = exchange("POST " + with_token("/result") + " HTTP/1.1\r\nContent-Length : " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(blank.status, 400);  // no length recognised, so the body is empty
  HttpReply plus = exchange("POST " + with_token("/result") + " HTTP/1.1\r\ncontent-LENGTH: +" +
                                 std::to_string(body.size()) + "\r\n\r\n" + body + "trailing bytes are ignored");
  EXPECT_EQ(plus.status, 200);
}

TEST_F(Bridge, OversizeRequestsGet413) {
  HttpReply big = exchange("POST " + with_token("/result") + " HTTP/1.1\r\nContent-Length: 2000001\r\n\r\n");
  EXPECT_TRUE(big.head.starts_with("HTTP/1.1 413 Error\r\n"));
  EXPECT_EQ(big.body, "{\"error\":\"Request too large\"}");
  // A header is small: one past 16 KB is refused before anything else is read.
  HttpReply endless = exchange("GET /health HTTP/1.1\r\nX: " + std::string(16 * 1024, 'a'));
  EXPECT_TRUE(endless.head.starts_with("HTTP/1.1 413 Error\r\n"));
  std::string largest = R"({"id":1,"text":")" + std::string(2'000'000 - 18, 'b') + "\"}";
  ASSERT_EQ(largest.size(), 2'000'000u);
  publish(Job{"p", {}, 1});
  EXPECT_EQ(post(with_token("/result"), largest).status, 200);
}

// Nothing of a body is read before the header passed: a client without the
// token is refused as soon as its header is in, its body never sent.
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
  auto poll = std::async(std::launch::async, [&] { return get(with_token("/next")).status; });
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
  const std::string head = fmt::format("POST {} HTTP/1.1\r\nContent-Length: {}\r\n\r\n", with_token("/result"), body.size());
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
  const std::optional<BrowserResult> taken = collect();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->text, "hi");
  for (int fd : silent) ::close(fd);
  ::close(sending);
}

TEST_F(Bridge, ASecondListenerIsRefused) {
  auto second = bind_bridge_listener(port);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error(), "Another Wendlebox session is already using port " + std::to_string(port) +
                                ". Finish it first (/exit or Ctrl+C in its terminal).");
}

// A program that is not this one's bridge (here one that never answers) is
// not called a Wendlebox session.
TEST(BridgeListener, APortHeldByAnotherProgramIsSaidSo) {
  const int other = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(other, 4), 0);
  const int port = bound_port(other);
  auto refused = bind_bridge_listener(port);
  ::close(other);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), fmt::format("Another program is using port {0} on 127.0.0.1, where the extension looks for "
                                         "Wendlebox. Stop it and try again (ss -ltnp 'sport = :{0}' shows which).", port));
}

TEST(BridgeListener, CanBeBoundAgainRightAfterAServedSessionClosed) {
  int port = 0;  // a free port at first, then the same one again
  for (int round = 0; round < 2; ++round) {
    auto bridge = BridgeThread::start(port, std::make_shared<JobExchange>(), "t");
    ASSERT_TRUE(bridge) << bridge.error();
    port = (*bridge)->port();
    EXPECT_EQ(http_get("/health", port).status, 200);  // leaves a connection in TIME_WAIT
  }
}

}  // namespace
