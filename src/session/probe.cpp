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

struct Landmark {
  std::string name;
  bool found = false;
  std::string how;
};

Result<std::vector<Landmark>> landmarks_of(const Json& report) {
  const auto list = report.find("landmarks");
  if (list == report.end() || !list->is_array()) return failure("The extension's report lists no landmarks.");
  std::vector<Landmark> landmarks;
  for (const Json& item : *list) {
    if (!item.is_object()) return failure("The extension's report has a landmark that is not an object.");
    landmarks.push_back({visible_text(item.value("name", "?")), item.value("found", false),
                         visible_text(item.value("how", ""))});
  }
  return landmarks;
}

}  // namespace

Status probe(const std::optional<Chat>& chat, const SessionWorld& world, const std::filesystem::path& folder) {
  auto text = probe_page(chat, world);
  if (!text) return std::unexpected(text.error());
  auto report = parse_json(*text);
  if (!report || !report->is_object()) return failure("The extension's report is not a JSON object.");
  auto landmarks = landmarks_of(*report);
  if (!landmarks) return std::unexpected(landmarks.error());

  world.out.line("36", i18n::tr(kHeading));
  std::size_t found = 0;
  for (const Landmark& landmark : *landmarks) {
    found += landmark.found ? 1 : 0;
    world.out << fmt::format("  {:<24} ", landmark.name)
              << (landmark.found ? world.out.paint("32", landmark.how) : world.out.paint("31", landmark.how)) << '\n';
  }
  world.out << fmt::format(fmt::runtime(i18n::tr(kFoundCount)), found, landmarks->size()) << '\n';

  const std::filesystem::path path = folder / fmt::format("wendlebox-probe-{}.json", unix_seconds());
  if (auto written = write_file_whole(path, pretty_json(*report) + "\n"); !written) return written;
  world.out << fmt::format(fmt::runtime(i18n::tr(kWritten)), path.string()) << '\n';
  return {};
}
