#include "session/probe.h"

#include <fmt/format.h>

#include "common/env.h"
#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kHeading{"What the extension finds on ChatGPT's page:",
                              "O que a extensão encontra na página do ChatGPT:",
                              "Lo que la extensión encuentra en la página de ChatGPT:"};
constexpr i18n::Text kFoundCount{"{} of {} landmarks found.", "{} de {} pontos de referência encontrados.",
                                 "{} de {} puntos de referencia encontrados."};
constexpr i18n::Text kWritten{
    "Report written to {} (the page's structure and labels, no message text). Attach it to a bug report.",
    "Relatório gravado em {} (a estrutura e os rótulos da página, sem texto das mensagens). Anexe-o a um relato de erro.",
    "Informe guardado en {} (la estructura y las etiquetas de la página, sin texto de los mensajes). Adjúntalo a un "
    "informe de error."};

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

}  // namespace

Result<ProbeReport> read_probe_report(std::string_view text) {
  auto value = parse_json(text);
  if (!value || !value->is_object()) return failure("The extension's report is not a JSON object.");
  ProbeReport report{std::move(*value), {}};
  const auto list = report.value.find("landmarks");
  if (list == report.value.end() || !list->is_array()) return failure("The extension's report lists no landmarks.");
  for (const Json& item : *list) {
    auto landmark = landmark_of(item, text);
    if (!landmark)
      return failure(fmt::format("The extension's report has a landmark that cannot be read: {}", landmark.error()));
    report.landmarks.push_back(std::move(*landmark));
  }
  return report;
}

Status probe(const std::optional<Chat>& chat, const SessionWorld& world, const std::filesystem::path& folder) {
  auto text = probe_page(chat, world);
  if (!text) return std::unexpected(text.error());
  auto report = read_probe_report(*text);
  if (!report) return std::unexpected(report.error());
  const std::vector<ProbeLandmark>& landmarks = report->landmarks;

  world.out.line("36", i18n::tr(kHeading));
  std::size_t found = 0;
  for (const ProbeLandmark& landmark : landmarks) {
    found += landmark.found ? 1 : 0;
    world.out << fmt::format("  {:<24} ", landmark.name)
              << (landmark.found ? world.out.paint("32", landmark.how) : world.out.paint("31", landmark.how)) << '\n';
  }
  world.out << fmt::format(fmt::runtime(i18n::tr(kFoundCount)), found, landmarks.size()) << '\n';

  const std::filesystem::path path = folder / fmt::format("wendlebox-probe-{}.json", unix_seconds());
  if (auto written = write_file_whole(path, pretty_json(report->value) + "\n"); !written) return written;
  world.out << fmt::format(fmt::runtime(i18n::tr(kWritten)), path.string()) << '\n';
  return {};
}
