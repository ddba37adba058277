#include "state/chats.h"

#include <gtest/gtest.h>

#include <sstream>

#include <fmt/format.h>
#include <sys/wait.h>
#include <unistd.h>

#include "state/chatlog.h"
#include "common/env.h"
#include "common/files.h"
#include "process/local_time.h"
#include "state/settings.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

const std::string kId = "0123abcd-4567-89ef-0123-456789abcdef";
const std::string kUrl = "https://chatgpt.com/c/" + kId;

struct UrlCase {
  std::string input;
  std::optional<std::string> expected;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.input; }

class ChatUrl : public testing::TestWithParam<UrlCase> {};

TEST_P(ChatUrl, NormalisesConversationAddresses) { EXPECT_EQ(chat_url(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, ChatUrl,
    testing::Values(UrlCase{kUrl, kUrl}, UrlCase{kId, kUrl},
                    UrlCase{"https://chatgpt.com/c/0123ABCD-4567-89EF-0123-456789ABCDEF?model=x", kUrl},
                    UrlCase{kUrl + "#frag", kUrl}, UrlCase{kUrl + "/more", kUrl},
                    UrlCase{"0123ABCD-4567-89EF-0123-456789ABCDEF", kUrl}, UrlCase{kId + " ", std::nullopt},
                    UrlCase{" " + kId, std::nullopt}, UrlCase{"0123abcd4-567-89ef-0123-456789abcdef", std::nullopt},
                    UrlCase{"0123abcg-4567-89ef-0123-456789abcdef", std::nullopt},
                    UrlCase{"https://chatgpt.com/c/", std::nullopt},
                    UrlCase{"https://chatgpt.com/g/x/c/" + kId, std::nullopt},
                    UrlCase{"http://chatgpt.com/c/" + kId, std::nullopt}, UrlCase{"", std::nullopt}));


// What a page's address saves, by the table of address shapes: a chat
// inside a Project by its conversation address; no placeholder, no
// visitor's chat, nothing on another host.
TEST(PageChatUrl, SavesAProjectChatByItsConversationAddress) {
  EXPECT_EQ(page_chat_url("https://chatgpt.com/g/g-p-68a0c0ffee-app/c/0123ABCD-4567-89EF-0123-456789ABCDEF?x=1"), kUrl);
  EXPECT_EQ(page_chat_url(kUrl + "#frag"), kUrl);
  EXPECT_EQ(page_chat_url(kUrl + "/more"), kUrl);
  for (const std::string& address : std::vector<std::string>{"https://chatgpt.com/g/g-p-1/c/local-chatgpt%3A" + kId, "https://chatgpt.com/g/g-p-1/project",
                                    "https://chatgpt.com/g//c/" + kId, "https://chatgpt.com/g/g-p-1?c/" + kId,
                                    "https://chatgpt.com/uc/" + kId, "https://chatgpt.com/c/WEB:" + kId,
                                    "https://chatgpt.com.evil.example/c/" + kId, "https://chatgpt.com/c/", kId})
    EXPECT_EQ(page_chat_url(address), std::nullopt) << address;
}

std::string url_of(char digit) { return "https://chatgpt.com/c/" + std::string(8, digit) + "-0000-0000-0000-000000000000"; }

std::string chat_json(const std::string& id, const std::string& title, const std::string& url,
                      const std::string& folder, int updated) {
  return "{\"id\":\"" + id + "\",\"title\":\"" + title + "\",\"url\":\"" + url + "\",\"folder\":\"" + folder +
         "\",\"updated\":" + std::to_string(updated) + "}";
}

class ChatCommands : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(project());
    fs::create_directories(home.path / "other");
  }
  fs::path project() const { return home.path / "p"; }
  void save_global(const std::vector<std::string>& chats) {
    std::string list = "[";
    for (std::size_t i = 0; i < chats.size(); ++i) list += (i ? "," : "") + chats[i];
    write_text(home.path / ".config/wendlebox/chats.json", list + "]");
  }
  // A newest, then B and C of the project.
  void three_chats() {
    save_global({chat_json("aaaa", "Chat A", url_of('a'), (home.path / "other").string(), 30),
                 chat_json("bbbb", "Chat B", url_of('b'), project().string(), 20),
                 chat_json("cccc", "Chat C", url_of('c'), project().string() + "/", 10)});
  }
  CommandResult wendlebox(std::vector<std::string> args, const fs::path& cwd = {}) {
    return run_binary({.args = std::move(args), .cwd = cwd.empty() ? project() : cwd, .home = home.path});
  }
  TempDir home;
};

TEST_F(ChatCommands, ListsThisProjectWithGlobalNumbersOrEveryChat) {
  three_chats();
  const std::string p = project().string();
  EXPECT_EQ(wendlebox({"--chats"}).out,
            "2  Chat B\n   " + p + "\n   " + url_of('b') + "\n3  Chat C\n   " + p + "/\n   " + url_of('c') +
                "\n\nContinue with: wendlebox [\"your prompt\"] <number, chat ID, or URL>\n"
                "Showing this project's chats. Use wendlebox --chats-all for every project.\n");
  for (const char* alias : {"--history", "--list"}) EXPECT_EQ(wendlebox({alias}).out, wendlebox({"--chats"}).out);
  const std::string all = wendlebox({"--chats-all"}).out;
  EXPECT_TRUE(all.starts_with("1  Chat A\n"));
  EXPECT_TRUE(all.ends_with("\n\nContinue with: wendlebox [\"your prompt\"] <number, chat ID, or URL>\n"));
}

TEST_F(ChatCommands, SaysWhenNothingIsSaved) {
  EXPECT_EQ(wendlebox({"--chats-all"}).out, "No saved chats yet.\n");
  EXPECT_EQ(wendlebox({"--chats"}).out, "No saved chats for this project yet.\n" + project().string() + "\n");
  three_chats();
  EXPECT_EQ(wendlebox({"--chats"}, home.path / "other").out.substr(0, 3), "1  ");
  fs::create_directory(home.path / "empty");
  EXPECT_EQ(wendlebox({"--chats"}, home.path / "empty").out,
            "No saved chats for this project yet.\n" + (home.path / "empty").string() +
                "\nRun wendlebox --chats-all to see chats from every project.\n");
}

// A list damaged in the middle (a quote lost, an entry of the wrong shape)
// still lists every chat it holds: the first reader writes it again with
// them, keeps the damaged file aside and says so, once.
TEST_F(ChatCommands, ADamagedListShowsEveryReadableChatAndSaysOnceWhereTheDamagedFileWent) {
  const std::string p = project().string(), other = (home.path / "other").string();
  const std::string damaged = "[\n" + chat_json("c1", "One", url_of('1'), p, 50) + ",\n" +
                              chat_json("c2", "Two {braces} \\\"quoted\\\"", url_of('2'), other, 40) + ",\n" +
                              R"({"id": "bad", "title": "lost its quote, "url": "x", "folder": "f", "updated": 1},)" + "\n" +
                              chat_json("c3", "Three", url_of('3'), p, 30) + ",\n" +
                              R"({"id": "c9", "title": "no number", "url": "u", "folder": "f", "updated": "soon"},)" +
                              "\n" + chat_json("c4", "Four", url_of('4'), other, 20) + ",\n" +
                              chat_json("c5", "Five", url_of('5'), p, 10) + "\n]";
  const fs::path list = home.path / ".config/wendlebox/chats.json";
  write_text(list, damaged);
  const CommandResult first = wendlebox({"--chats-all"});
  EXPECT_EQ(first.exit_code, 0) << first.err;
  const std::string notice = list.string() + " could not be read whole: the chats it could read are kept, and the file "
                             "itself is saved as ";
  ASSERT_TRUE(first.err.starts_with(notice)) << first.err;
  const std::string aside = first.err.substr(notice.size(), first.err.find(".\n") - notice.size());
  EXPECT_EQ(read_text(aside), damaged);
  // Said on standard error, so the listing stays the listing alone.
  const std::string listing = first.out;
  for (const char* title : {"1  One\n", "2  Two {braces} \"quoted\"\n", "3  Three\n", "4  Four\n", "5  Five\n"})
    EXPECT_NE(listing.find(title), std::string::npos) << title << listing;
  EXPECT_EQ(listing.find("6  "), std::string::npos) << listing;
  // Said once: the list is whole again, with all five.
  EXPECT_EQ(wendlebox({"--chats-all"}).out, listing);
  const std::string mine = wendlebox({"--chats"}).out;
  EXPECT_NE(mine.find("1  One\n"), std::string::npos) << mine;
  EXPECT_NE(mine.find("5  Five\n"), std::string::npos) << mine;
  EXPECT_EQ(mine.find("Four"), std::string::npos) << mine;
}

struct ResolveCase {
  std::string reference;
  std::string found;  // the id whose log is shown, or "" for "Chat not found"
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.reference; }

class ResolveChat : public ChatCommands, public testing::WithParamInterface<ResolveCase> {};

TEST_P(ResolveChat, ByNumberIdOrAddress) {
  three_chats();
  for (const char* id : {"aaaa", "bbbb", "cccc"})
    write_text((id == std::string("aaaa") ? home.path / "other" : project()) / ".wendlebox/chatlogs" /
                   (std::string(id) + ".jsonl"),
               "{\"at\":\"t\",\"role\":\"user\",\"text\":\"" + std::string(id) + "\"}\n");
  CommandResult r = wendlebox({"--chatlog", GetParam().reference});
  if (GetParam().found.empty()) {
    EXPECT_EQ(r.err, "Wendlebox: Chat not found. Run wendlebox --chats-all to see saved numbers, or pass a ChatGPT chat URL.\n");
  } else {
    EXPECT_EQ(r.out, "[t] You\n" + GetParam().found + "\n\n") << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ResolveChat,
                         testing::Values(ResolveCase{"1", "aaaa"}, ResolveCase{"+2", "bbbb"}, ResolveCase{"0", ""},
                                         ResolveCase{"-1", ""}, ResolveCase{"4", ""}, ResolveCase{"cccc", "cccc"},
                                         ResolveCase{"BBBBBBBB-0000-0000-0000-000000000000", "bbbb"},
                                         ResolveCase{url_of('c') + "?model=x#top", "cccc"},
                                         ResolveCase{"nonsense", ""}));

TEST_F(ChatCommands, ShowsTheLogOfAnUnsavedAddressFromTheCurrentFolder) {
  CommandResult r = wendlebox({"--chatlog", url_of('d')});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "No local log for this chat yet.\n");
  write_text(project() / ".wendlebox/chatlogs/dddddddd-0000-0000-0000-000000000000.jsonl",
             "{\"at\":\"2026-01-02 03:04:05\",\"role\":\"user\",\"text\":\"hi\"}\r\n"
             "{\"at\":\"2026-01-02 03:04:09\",\"role\":\"done\",\"text\":\"Made it.\\nBye\"}\r\n"
             "{\"at\":\"x\",\"role\":\"other\",\"text\":\"z\"}");
  r = wendlebox({"--chatlog", url_of('d')});
  EXPECT_EQ(r.out,
            "[2026-01-02 03:04:05] You\nhi\n\n[2026-01-02 03:04:09] ChatGPT · done\nMade it.\nBye\n\n[x] ChatGPT · done\nz\n\n");
  r = run_binary({.args = {"--chatlog", url_of('d')}, .cwd = project(), .home = home.path, .env = {{"LANG", "es"}}});
  EXPECT_NE(r.out.find("[2026-01-02 03:04:09] ChatGPT · hecho\n"), std::string::npos);
}

TEST_F(ChatCommands, AMalformedLineEndsTheListingAfterTheGoodOnes) {
  save_global({chat_json("abc", "T", url_of('a'), project().string(), 1)});
  write_text(project() / ".wendlebox/chatlogs/abc.jsonl",
             "{\"at\":\"t\",\"role\":\"user\",\"text\":\"one\"}\n\n{\"at\":\"t\",\"role\":\"user\",\"text\":\"two\"}\n");
  CommandResult r = wendlebox({"--chatlog", "1"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "[t] You\none\n\n");
  EXPECT_TRUE(r.err.starts_with("Wendlebox: Could not read chat log " +
                                 (project() / ".wendlebox/chatlogs/abc.jsonl").string() +
                                 ": syntax error while parsing value")) << r.err;
  EXPECT_TRUE(r.err.ends_with(". Fix the file, or move it away to start again from the defaults.\n")) << r.err;
}

TEST_F(ChatCommands, AnIdThatCannotNameAFileIsRefused) {
  save_global({chat_json("../../etc", "T", url_of('a'), project().string(), 1)});
  CommandResult r = wendlebox({"--chatlog", "1"});
  EXPECT_EQ(r.err, "Wendlebox: Saved chat has an invalid ID.\n");
}

class ChatRegistry : public testing::Test {
 protected:
  void SetUp() override {
    env.set("XDG_CONFIG_HOME", (dir.path / "config").string());
    fs::create_directories(dir.path / "p");
  }
  std::vector<std::string> ids(const std::vector<Chat>& chats) {
    std::vector<std::string> out;
    for (const Chat& c : chats) out.push_back(c.id);
    return out;
  }
  TempDir dir;
  ScopedEnv env;
  std::stringstream said;
  const Printer quiet{said, false, false};
};

TEST_F(ChatRegistry, SavingMovesAChatToTheFrontGloballyAndToTheEndOfTheProject) {
  const fs::path p = dir.path / "p";
  Chat a = new_chat("aaaa", "first", p), b = new_chat("bbbb", std::nullopt, p);
  EXPECT_EQ(b.title, "New chat");
  ASSERT_TRUE(save_chat(a, url_of('a'), p, quiet));
  ASSERT_TRUE(save_chat(b, url_of('b'), p, quiet));
  ASSERT_TRUE(save_chat(a, url_of('a'), p, quiet));
  EXPECT_EQ(ids(load_chats(quiet)), (std::vector<std::string>{"aaaa", "bbbb"}));
  EXPECT_EQ(ids(*read_project_chats(p, quiet)), (std::vector<std::string>{"bbbb", "aaaa"}));
  const std::string file = read_text(project_chats_path(p));
  EXPECT_TRUE(file.starts_with("[\n  {\n    \"id\": \"bbbb\",\n    \"title\": \"New chat\",\n    \"url\": \"" + url_of('b') +
                               "\",\n    \"folder\": \"" + p.string() + "\",\n    \"updated\": "));
  EXPECT_TRUE(file.ends_with("\n  }\n]"));
}

TEST_F(ChatRegistry, AFailedGlobalWriteLeavesTheProjectListUntouched) {
  const fs::path p = dir.path / "p";
  Chat a = new_chat("aaaa", "x", p);
  // A folder where the list should be: the new file cannot be renamed over it.
  fs::create_directories(dir.path / "config/wendlebox/chats.json/held");
  auto saved_chat = save_chat(a, url_of('a'), p, quiet);
  ASSERT_FALSE(saved_chat);
  EXPECT_NE(saved_chat.error().message.find("chats.json: Is a directory. Fix the file"), std::string::npos)
      << saved_chat.error();
  EXPECT_FALSE(fs::exists(project_chats_path(p)));
}

TEST_F(ChatRegistry, AProjectWithoutItsFileFindsItsChatsInTheGlobalList) {
  const fs::path p = dir.path / "p";
  write_text(dir.path / "config/wendlebox/chats.json",
             "[" + chat_json("x1", "a", url_of('1'), p.string() + "/", 5) + "," +
                 chat_json("x2", "b", "not a url", p.string(), 9) + "," +
                 chat_json("x3", "c", url_of('3'), (dir.path / "q").string(), 9) + "," +
                 chat_json("x4", "d", url_of('4'), p.string(), 5) + "]");
  EXPECT_EQ(ids(*read_project_chats(p, quiet)), (std::vector<std::string>{"x1", "x4"}));
  // Of two chats updated at the same time, the later one in the list wins.
  EXPECT_EQ(latest_project_chat(p, load_chats(quiet))->id, "x4");
  Chat n = new_chat("nnnn", "new", p);
  ASSERT_TRUE(save_chat(n, url_of('5'), p, quiet));
  EXPECT_EQ(ids(*read_project_chats(p, quiet)), (std::vector<std::string>{"x1", "x4", "nnnn"}));
}

// Nothing saved is lost: of a damaged list the readable chats are kept, by
// the first read or by a save, and the file itself is moved aside; a notice
// names both, once.
TEST_F(ChatRegistry, ADamagedListKeepsItsReadableChatsAndIsMovedAside) {
  const fs::path p = dir.path / "p";
  const fs::path global = dir.path / "config/wendlebox/chats.json";
  const std::string damaged = "[" + chat_json("x1", "a", url_of('1'), p.string(), 5) + "," +
                              R"({"id":"x2","title":"b","url":"u","folder":"f","updated":"1796000001"}])";
  write_text(global, damaged);
  write_text(project_chats_path(p), "{");
  std::stringstream notices;
  const Printer printer(notices, false, false);
  EXPECT_EQ(ids(load_chats(printer)), (std::vector<std::string>{"x1"}));
  EXPECT_EQ(ids(load_chats(printer)), (std::vector<std::string>{"x1"}));
  Chat a = new_chat("aaaa", "x", p);
  ASSERT_TRUE(save_chat(a, url_of('a'), p, printer));  // the project list is mended by the save
  EXPECT_EQ(ids(load_chats(printer)), (std::vector<std::string>{"aaaa", "x1"}));
  EXPECT_EQ(ids(*read_project_chats(p, printer)), (std::vector<std::string>{"aaaa"}));
  std::vector<fs::path> aside;
  for (const fs::path& folder : {global.parent_path(), project_chats_path(p).parent_path()})
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().find(".damaged-") != std::string::npos) aside.push_back(entry.path());
  ASSERT_EQ(aside.size(), 2u);
  for (const fs::path& kept : aside) {
    EXPECT_EQ(read_text(kept), kept.string().starts_with(global.string()) ? damaged : "{");
    const std::string said = "saved as " + kept.string() + ".\n";
    const std::size_t first = notices.str().find(said);
    EXPECT_NE(first, std::string::npos) << notices.str();
    EXPECT_EQ(notices.str().find(said, first + 1), std::string::npos) << notices.str();
  }
}

// Sessions saving at the same moment keep every chat: each process saves
// its own chats many times over, racing the others, and none is lost from
// either list, nor is a setting changed meanwhile.
TEST_F(ChatRegistry, SavesFromSeveralProcessesAtOnceLoseNone) {
  const fs::path p = dir.path / "p";
  constexpr int kProcesses = 4, kChats = 12;
  std::vector<pid_t> children;
  for (int process = 0; process < kProcesses; ++process) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      bool ok = true;
      for (int i = 0; i < kChats; ++i) {
        Chat chat = new_chat(fmt::format("{:x}{:02x}", process, i), "x", p);
        ok = ok && save_chat(chat, fmt::format("https://chatgpt.com/c/{:08x}-0000-0000-0000-000000000000",
                                               process * 256 + i), p, quiet);
        if (process == 0 && i == kChats / 2) ok = ok && update_settings([](Settings& s) { s.git = false; });
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(load_chats(quiet).size(), std::size_t{kProcesses * kChats});
  EXPECT_EQ(read_project_chats(p, quiet)->size(), std::size_t{kProcesses * kChats});
  EXPECT_FALSE(load_settings()->git);
}

// A lock that another holder keeps is waited on only so long, and the
// failure names the lock file.
TEST_F(ChatRegistry, ASaveGivesUpOnALockHeldTooLongAndSaysWhich) {
  auto held = lock_file(chats_path());
  ASSERT_TRUE(held);
  auto again = lock_file(chats_path(), std::chrono::milliseconds(100));
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().message, "Another program has held " + chats_path().string() +
                               ".lock for over 0.1 seconds; end the other Wendlebox session if it is stuck, then "
                               "try again");
}

// A file of openings that never close (a hostile or mangled list) is given
// up on after a bounded number of tries rather than one pass per brace.
TEST(ReadableChats, AFileOfUnclosedBracesHoldsNoChatAndEndsSoon) {
  std::string braces;
  while (braces.size() < 1'000'000) braces += "{\"";
  EXPECT_TRUE(readable_chats(braces).empty());
  EXPECT_TRUE(readable_chats("[" + chat_json("c1", "a", url_of('1'), "/p", 1) + "," + braces).size() == 1);
}

TEST(ChatTitle, IsCutAt60CharactersNeverInsideOne) {
  std::string prompt;
  for (int i = 0; i < 70; ++i) prompt += "ç";
  EXPECT_EQ(chat_title(prompt).size(), 120u);
  EXPECT_EQ(chat_title("short"), "short");
}

TEST(ChatLog, AppendsOneLinePerEntryAndFallsBackToEpochSeconds) {
  TempDir dir;
  const Chat chat{.id = "abc-123", .folder = dir.path.string()};
  ASSERT_TRUE(append_chatlog(chat, "user", "line one\n\"two\""));
  const std::string log = read_text(dir.path / ".wendlebox/chatlogs/abc-123.jsonl");
  EXPECT_TRUE(log.starts_with("{\"at\":\"2")) << "[" << log << "]";
  EXPECT_TRUE(log.ends_with("\",\"role\":\"user\",\"text\":\"line one\\n\\\"two\\\"\"}\n"));

  std::string stamp;
  {
    ScopedEnv env;
    env.set("PATH", dir.path.string());  // no `date` here
    stamp = local_timestamp();
  }
  EXPECT_TRUE(stamp.ends_with(" UTC"));
  EXPECT_GT(std::stoull(stamp), 1'700'000'000u);
}

// The user has to find the file to set it right, so the failure names it.
TEST(ChatLog, AFailedAppendNamesTheFile) {
  TempDir dir;
  write_text(dir.path / ".wendlebox/chatlogs", "a file where the folder should be");
  auto appended = append_chatlog(Chat{.id = "abc", .folder = dir.path.string()}, "user", "hi");
  ASSERT_FALSE(appended);
  EXPECT_EQ(appended.error().message, (dir.path / ".wendlebox/chatlogs/abc.jsonl").string() + ": Not a directory");
}

}  // namespace

}  // namespace wendlebox
