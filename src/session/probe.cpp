#include "session/probe.h"

#include <fmt/format.h>

#include "common/env.h"
#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "session/messages.h"

namespace wendlebox {

namespace {

using namespace messages::session;

// Each landmark read through the checked reader: a field of the wrong type
// is a message naming it, never an exception out of the program.
Result<ProbeLandmark> landmark_of(const Json& item, std::string_view text) {
  auto fields = JsonFields::of(item, text);
  if (!fields) return std::unexpected(fields.error());
  auto name = fields->string_or("name", "?");
  if (!name) return std::unexpected(name.error());
  auto found = fields->bool_or("found", false);
  if (!found) return std::unexpected(found.error());
  auto how = fields->string_or("how", "");
  if (!how) return std::unexpected(how.error());
  return ProbeLandmark{visible_text(*name), *found, visible_text(*how)};
}

Result<ProbeCandidate> candidate_of(const Json& item, std::string_view text) {
  auto fields = JsonFields::of(item, text);
  if (!fields) return std::unexpected(fields.error());
  auto what = fields->string_or("what", "?");
  if (!what) return std::unexpected(what.error());
  auto used = fields->bool_or("used", false);
  if (!used) return std::unexpected(used.error());
  return ProbeCandidate{visible_text(*what), *used};
}

// The candidates listed under `key`; an absent list is an empty one.
Status read_candidates(const Json& report, const char* key, std::string_view text, std::vector<ProbeCandidate>& into) {
  const auto list = report.find(key);
  if (list == report.end()) return {};
  if (!list->is_array()) return failure(fmt::format("The extension's report has a `{}` that is not a list.", key));
  for (const Json& item : *list) {
    auto candidate = candidate_of(item, text);
    if (!candidate)
      return failure(fmt::format("The extension's report has a `{}` entry that cannot be read: {}", key, candidate.error()));
    into.push_back(std::move(*candidate));
  }
  return {};
}

void print_candidates(const SessionWorld& world, const i18n::Text& heading, const std::vector<ProbeCandidate>& list) {
  if (list.empty()) return;
  world.out.line(Colour::heading, i18n::tr(heading));
  for (const ProbeCandidate& candidate : list) {
    world.out << "  " << candidate.what;
    if (candidate.used) world.out << "  " << world.out.paint(Colour::success, fmt::format("({})", i18n::tr(kUsed)));
    world.out << '\n';
  }
}

}  // namespace

Result<ProbeReport> read_probe_report(std::string_view text) {
  auto value = parse_json(text);
  if (!value || !value->is_object()) return failure("The extension's report is not a JSON object.");
  ProbeReport report{std::move(*value), {}, {}, {}};
  const auto list = report.value.find("landmarks");
  if (list == report.value.end() || !list->is_array()) return failure("The extension's report lists no landmarks.");
  for (const Json& item : *list) {
    auto landmark = landmark_of(item, text);
    if (!landmark)
      return failure(fmt::format("The extension's report has a landmark that cannot be read: {}", landmark.error()));
    report.landmarks.push_back(std::move(*landmark));
  }
  if (auto read = read_candidates(report.value, "composers", text, report.composers); !read) return std::unexpected(read.error());
  if (auto read = read_candidates(report.value, "fileInputs", text, report.file_inputs); !read)
    return std::unexpected(read.error());
  return report;
}

Status probe(const std::optional<Chat>& chat, const SessionWorld& world, const std::filesystem::path& folder) {
  auto text = probe_page(chat, world);
  if (!text) return std::unexpected(text.error());
  auto report = read_probe_report(*text);
  if (!report) return std::unexpected(report.error());
  const std::vector<ProbeLandmark>& landmarks = report->landmarks;

  world.out.line(Colour::heading, i18n::tr(kHeading));
  std::size_t found = 0;
  for (const ProbeLandmark& landmark : landmarks) {
    found += landmark.found ? 1 : 0;
    world.out << fmt::format("  {:<24} ", landmark.name)
              << (landmark.found ? world.out.paint(Colour::success, landmark.how) : world.out.paint(Colour::error, landmark.how)) << '\n';
  }
  world.out << fmt::format(fmt::runtime(i18n::tr(kFoundCount)), found, landmarks.size()) << '\n';
  print_candidates(world, kComposers, report->composers);
  print_candidates(world, kFileInputs, report->file_inputs);

  const std::filesystem::path path = folder / fmt::format("wendlebox-probe-{}.json", unix_seconds());
  if (auto written = write_file_whole(path, pretty_json(report->value) + "\n"); !written) return written;
  world.out << fmt::format(fmt::runtime(i18n::tr(kWritten)), path.string()) << '\n';
  return {};
}

}  // namespace wendlebox
