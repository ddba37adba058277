#include "session/protocol.h"

#include <gtest/gtest.h>

namespace wendlebox {

namespace {

using i18n::Language;

// The prompt of the six first actions (1596 bytes), with edits, line ranges
// and search added and nothing else changed.
TEST(Prompts, SystemPromptIsOneLineAddingEditsRangesAndSearchToTheFirst1596Bytes) {
  std::string sp(system_prompt());
  EXPECT_EQ(sp.find('\n'), std::string::npos);
  EXPECT_TRUE(sp.starts_with("You are working through Wendlebox, a local bridge."));
  EXPECT_TRUE(sp.ends_with("If a tool fails, inspect the result and adapt."));
  const auto cut = [&sp](std::string_view from, std::string_view to) {
    const std::size_t start = sp.find(from), end = sp.find(to, start);
    ASSERT_NE(start, std::string::npos) << from;
    ASSERT_NE(end, std::string::npos) << to;
    sp.erase(start, end - start);
  };
  cut(R"(,{"type":"edit_file","path":"relative/path","edits":[{"old":)", "]}.");
  cut(" To change an existing file, prefer edit_file to write_file: each \"old\" must be exact text",
      " Use only actions you need.");
  cut(" A run action may give \"timeout\"", " Relative file paths");
  EXPECT_EQ(sp.size(), 1596u) << sp;
  for (std::string_view told : {"with a few unchanged lines around the change", R"("start_line" and "end_line")",
                                R"({"type":"search","pattern":)", "use search to find text",
                                R"(A run action may give "timeout" in seconds (at most 3600)"})
    EXPECT_NE(system_prompt().find(told), std::string_view::npos) << told;
}

TEST(Prompts, FirstPromptCarriesTheLanguageLineOnlyForPortugueseAndSpanish) {
  const std::string sp(system_prompt());
  EXPECT_EQ(first_prompt("make it", "/w", "(none)", Language::English),
            sp + "\n\nUser task: make it\nWorking folder: /w\nExtra folders allowed for file actions:\n(none)");
  EXPECT_EQ(first_prompt("faça", "/w", "/a\n/b", Language::Portuguese),
            sp + "\nWrite the \"message\" field in Brazilian Portuguese, the user's language. Keep the JSON keys, "
                 "action types, and code in English.\n\nUser task: faça\nWorking folder: /w\nExtra folders allowed "
                 "for file actions:\n/a\n/b");
  EXPECT_EQ(first_prompt("haz", "/w", "(none)", Language::Spanish),
            sp + "\nWrite the \"message\" field in Spanish, the user's language. Keep the JSON keys, action types, "
                 "and code in English.\n\nUser task: haz\nWorking folder: /w\nExtra folders allowed for file "
                 "actions:\n(none)");
}

TEST(Prompts, ContinuationRetryAndToolResultsAreByteExact) {
  EXPECT_EQ(continuation_prompt("next", "/w", "(none)"),
            "User task: next\nWorking folder: /w\nExtra folders allowed for file actions:\n(none)\nContinue using the "
            "Wendlebox JSON protocol in this chat.");
  EXPECT_EQ(retry_prompt("No wendlebox code block"),
            "Your last reply could not be processed: No wendlebox code block. Reply with exactly one ```wendlebox "
            "JSON block using the schema already provided. No extra text.");
  const std::string tail =
      "\n\nContinue the task. If finished, reply with status done and no actions. Keep using one wendlebox JSON block.";
  EXPECT_EQ(tool_results_prompt(Json::array()), "Wendlebox tool results (JSON):\n[]" + tail);
  Json results = Json::array();
  results.push_back(failure_result("deploy", "Unknown action: deploy"));
  EXPECT_EQ(tool_results_prompt(results),
            "Wendlebox tool results (JSON):\n[\n  {\n    \"error\": \"Unknown action: deploy\",\n    \"ok\": false,\n    "
            "\"type\": \"deploy\"\n  }\n]" + tail);
  Json ok = Json::array();
  ok.push_back(success_result("read_file", Json{{"path", "ñ.txt"}, {"content", "é\n"}}));
  EXPECT_EQ(pretty_json(ok),
            "[\n  {\n    \"ok\": true,\n    \"result\": {\n      \"content\": \"é\\n\",\n      \"path\": \"ñ.txt\"\n    "
            "},\n    \"type\": \"read_file\"\n  }\n]");
}

std::string actions_json(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += std::string(i ? "," : "") + R"({"type":"list_files"})";
  return "```wendlebox\n{\"status\":\"continue\",\"actions\":[" + list + "]}\n```";
}

struct ReplyCase {
  std::string name;
  std::string text;
  std::string reason;  // "" when accepted
  std::size_t actions = 0;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class ParseReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(ParseReply, AcceptsOrNamesTheReason) {
  const ReplyCase& c = GetParam();
  auto reply = parse_reply(c.text);
  if (c.reason.empty()) {
    ASSERT_TRUE(reply) << reply.error();
    EXPECT_EQ(reply->actions.size(), c.actions);
  } else {
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().message, c.reason);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseReply,
    testing::Values(
        ReplyCase{"json_on_label_line", "```wendlebox {\"status\":\"done\"}\n```", ""},
        ReplyCase{"prose_around_and_second_block",
                  "Sure!\n```wendlebox\n{\"status\":\"continue\",\"actions\":[{\"type\":\"run\",\"command\":\"ls\"}]}\n```"
                  "\nThen ```wendlebox\nbroken\n```",
                  "", 1},
        ReplyCase{"backticks_in_content",
                  "```wendlebox\n{\"status\":\"continue\",\"actions\":[{\"type\":\"write_file\",\"path\":\"a.md\","
                  "\"content\":\"```js\\nx\\n```\"}]}\n```",
                  "", 1},
        ReplyCase{"readme_with_fences_pretty",
                  "Writing it.\n```wendlebox\n{\n  \"status\": \"continue\",\n  \"actions\": [{\"type\": \"write_file\", "
                  "\"path\": \"README.md\", \"content\": \"# T\\n\\n```sh\\nmake\\n```\\n\\n````md\\n```\\n````\\n\"}]\n}\n```\nDone.",
                  "", 1},
        ReplyCase{"one_line_with_fence_in_content",
                  "```wendlebox {\"status\":\"done\",\"message\":\"use ``` fences\"}```", ""},
        ReplyCase{"no_candidate_decodes",
                  "```wendlebox\n{\"status\":\n```\nand ``` then {x}\n```",
                  "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal at line 1 column 11"},
        ReplyCase{"label_case", "```Wendlebox\n{\"status\":\"done\"}\n```", "No wendlebox code block"},
        ReplyCase{"space_before_label", "``` wendlebox\n{\"status\":\"done\"}\n```", "No wendlebox code block"},
        ReplyCase{"unclosed", "```wendlebox\n{\"status\":\"done\"}", "Unclosed wendlebox code block"},
        ReplyCase{"status_only", "```wendlebox\n{\"status\":\"done\"}\n```", ""},
        ReplyCase{"status_capital", "```wendlebox\n{\"status\":\"Done\"}\n```", "status must be done or continue"},
        ReplyCase{"status_leading_space", "```wendlebox\n{\"status\":\" done\"}\n```", "status must be done or continue"},
        ReplyCase{"bad_status_and_too_many",
                  "```wendlebox\n{\"status\":\"x\",\"actions\":[" + std::string(20, ' ') +
                      R"({"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"},{"type":"a"}]})" "\n```",
                  "status must be done or continue"},
        ReplyCase{"twenty_actions", actions_json(20), "", 20},
        ReplyCase{"twenty_one_actions", actions_json(21), "Too many actions in one turn"},
        ReplyCase{"unknown_type_passes", "```wendlebox\n{\"status\":\"continue\",\"actions\":[{\"type\":\"deploy\"}]}\n```", "", 1},
        ReplyCase{"extra_keys_ignored",
                  "```wendlebox\n{\"status\":\"done\",\"x\":1,\"actions\":[{\"type\":\"run\",\"why\":2,\"path\":null}]}\n```", "", 1},
        ReplyCase{"missing_status", "```wendlebox\n{\"message\":\"hi\"}\n```", "missing field `status` at line 1 column 16"},
        ReplyCase{"null_message", "```wendlebox\n{\"status\":\"done\",\"message\":null}\n```",
                  "invalid type: null, expected a string for `message` at line 1 column 32"},
        ReplyCase{"duplicate_key", "```wendlebox\n{\"status\":\"done\",\"status\":\"done\"}\n```",
                  "duplicate field `status` at line 1 column 33"},
        ReplyCase{"missing_action_type", "```wendlebox\n{\"status\":\"done\",\"actions\":[{\"path\":\"a\"}]}\n```",
                  "missing field `type` at line 1 column 42"},
        ReplyCase{"number_too_large", "```wendlebox\n{\"status\":\"done\",\"x\":1E400}\n```",
                  "number overflow parsing '1E400'"},
        ReplyCase{"empty_block", "```wendlebox\n```", "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal at line 1 column 1"}));

TEST(ParseReply, ReadsEditsLineRangesAndSearchFields) {
  auto reply = parse_reply(
      R"(```wendlebox
{"status":"continue","actions":[
 {"type":"edit_file","path":"a.cc","edits":[{"old":"x","new":""},{"old":"y\n","new":"z"}]},
 {"type":"read_file","path":"log","start_line":10,"end_line":null},
 {"type":"search","pattern":"f\\(","glob":"*.cc","regex":true,"ignore_case":null},
 {"type":"run","command":"npm start","timeout":30}]}
```)");
  ASSERT_TRUE(reply) << reply.error();
  const Action& edit = reply->actions[0];
  ASSERT_TRUE(edit.edits);
  ASSERT_EQ(edit.edits->size(), 2u);
  EXPECT_EQ((*edit.edits)[1].old_text, "y\n");
  EXPECT_EQ((*edit.edits)[1].new_text, "z");
  EXPECT_EQ(reply->actions[1].start_line, 10u);
  EXPECT_FALSE(reply->actions[1].end_line);
  EXPECT_EQ(reply->actions[2].pattern, "f\\(");
  EXPECT_TRUE(reply->actions[2].regex);
  EXPECT_FALSE(reply->actions[2].ignore_case);
  EXPECT_FALSE(reply->actions[1].edits);
  EXPECT_EQ(reply->actions[3].timeout, 30u);
  EXPECT_FALSE(reply->actions[2].timeout);

  const auto reason = [](const std::string& action) {
    auto bad = parse_reply("```wendlebox\n{\"status\":\"continue\",\"actions\":[" + action + "]}\n```");
    return bad ? std::string("(accepted)") : bad.error().message;
  };
  EXPECT_EQ(reason(R"({"type":"edit_file","edits":[{"old":"x"}]})"), "missing field `new` at line 1 column 76");
  EXPECT_EQ(reason(R"({"type":"edit_file","edits":{"old":"x"}})"),
            "invalid type: expected a list for `edits` at line 1 column 74");
  EXPECT_EQ(reason(R"({"type":"read_file","start_line":-3})"),
            "invalid type: number, expected an unsigned integer for `start_line` at line 1 column 70");
  EXPECT_EQ(reason(R"({"type":"run","command":"x","timeout":"600"})"),
            "invalid type: string, expected an unsigned integer for `timeout` at line 1 column 78");
  EXPECT_EQ(reason(R"({"type":"search","regex":"yes"})"),
            "invalid type: string, expected a boolean for `regex` at line 1 column 65");
}

TEST(ParseReply, KeepsMessageAndActionFields) {
  auto reply = parse_reply(
      "```wendlebox\n{\"status\":\"done\",\"message\":\"Olá\",\"actions\":[{\"type\":\"write_file\",\"path\":\"a\","
      "\"content\":\"\"}]}\n```");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->message, "Olá");
  EXPECT_EQ(reply->actions[0].content, "");
  EXPECT_FALSE(reply->actions[0].command);
}

}  // namespace

}  // namespace wendlebox
