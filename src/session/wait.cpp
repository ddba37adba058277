#include "session/wait.h"

#include <unistd.h>

#include <iostream>

#include <fmt/format.h>

#include "i18n/i18n.h"
#include "line_editor/line_editor.h"

namespace {

constexpr i18n::Text kWaiting{"Waiting for ChatGPT's reply...", "Aguardando a resposta do ChatGPT...",
                              "Esperando la respuesta de ChatGPT..."};
constexpr i18n::Text kStillWaiting{"Still waiting for this ChatGPT reply. Press Ctrl+C to stop.",
                                   "Ainda aguardando esta resposta do ChatGPT. Pressione Ctrl+C para parar.",
                                   "Aún esperando esta respuesta de ChatGPT. Pulsa Ctrl+C para detener."};
constexpr i18n::Text kNotConnected{
    "The extension did not connect within one minute. Check that it is installed and enabled in the browser that "
    "opened ChatGPT.",
    "A extensão não se conectou em um minuto. Verifique se ela está instalada e ativada no navegador que abriu o "
    "ChatGPT.",
    "La extensión no se conectó en un minuto. Comprueba que esté instalada y activada en el navegador que abrió "
    "ChatGPT."};

constexpr i18n::Text kPairingMismatch{
    "The Wendlebox extension in the browser holds a pairing key other than this program's (it was not reloaded after "
    "wendlebox setup, or another copy of it is loaded). Reload Wendlebox in the browser's extensions page "
    "(edge://extensions or chrome://extensions).",
    "A extensão Wendlebox no navegador tem uma chave de pareamento diferente da deste programa (ela não foi "
    "recarregada depois do wendlebox setup, ou outra cópia dela está carregada). Recarregue o Wendlebox na página de "
    "extensões do navegador (edge://extensions ou chrome://extensions).",
    "La extensión Wendlebox del navegador tiene una clave de emparejamiento distinta de la de este programa (no se "
    "recargó después de wendlebox setup, o hay otra copia cargada). Recarga Wendlebox en la página de extensiones "
    "del navegador (edge://extensions o chrome://extensions)."};
constexpr i18n::Text kSetupFolder{"The folder wendlebox setup installed it in:", "A pasta em que o wendlebox setup a instalou:",
                                  "La carpeta donde la instaló wendlebox setup:"};

constexpr i18n::Text kAnswering{"ChatGPT is answering ({} s) · Ctrl+C stops this prompt",
                                "O ChatGPT está respondendo ({} s) · Ctrl+C interrompe este prompt",
                                "ChatGPT está respondiendo ({} s) · Ctrl+C detiene este prompt"};

constexpr i18n::Text kStillWaitingForExtension{
    "Still waiting for the extension; press Ctrl+C to stop this prompt and keep the chat.",
    "Ainda aguardando a extensão; pressione Ctrl+C para interromper este prompt e manter o chat.",
    "Aún esperando la extensión; pulsa Ctrl+C para detener este prompt y conservar el chat."};

constexpr i18n::Text kWaitingForExtension{"Waiting for the extension to take the prompt",
                                          "Aguardando a extensão receber o prompt",
                                          "Esperando a que la extensión reciba el prompt"};

// The same notices while a probe waits for the extension's report.
constexpr i18n::Text kWaitingForReport{"Waiting for the extension's report of the page...",
                                       "Aguardando o relatório da página feito pela extensão...",
                                       "Esperando el informe de la página de la extensión..."};
constexpr i18n::Text kStillWaitingForReport{
    "Still waiting for the extension's report. Press Ctrl+C to stop.",
    "Ainda aguardando o relatório da extensão. Pressione Ctrl+C para parar.",
    "Aún esperando el informe de la extensión. Pulsa Ctrl+C para detener."};
constexpr i18n::Text kReading{"The extension is reading the page ({} s) · Ctrl+C stops the probe",
                              "A extensão está lendo a página ({} s) · Ctrl+C interrompe a sondagem",
                              "La extensión está leyendo la página ({} s) · Ctrl+C detiene el sondeo"};
constexpr i18n::Text kStillWaitingForExtensionToProbe{
    "Still waiting for the extension; press Ctrl+C to stop the probe.",
    "Ainda aguardando a extensão; pressione Ctrl+C para interromper a sondagem.",
    "Aún esperando la extensión; pulsa Ctrl+C para detener el sondeo."};
constexpr i18n::Text kWaitingForExtensionToProbe{"Waiting for the extension to read the page",
                                                 "Aguardando a extensão ler a página",
                                                 "Esperando a que la extensión lea la página"};

std::unexpected<Stopped> stopped(StopReason reason, std::string message = {}) {
  return std::unexpected(Stopped{reason, message.empty() ? std::string(stop_message(reason)) : std::move(message)});
}

}  // namespace

std::expected<JobResult, Stopped> wait_for_result(JobExchange& exchange, const WaitHelp& help,
                                                      const WaitTimings& timings, const std::atomic<bool>* interrupt,
                                                      const Printer& out) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  const Clock::time_point deadline = started + timings.connect_deadline;
  Clock::time_point last_notice = Clock::now();
  bool announced = false;
  bool hinted = false;  // the connect deadline passed and what helps was said
  // On a terminal, one line counts the seconds, until the extension takes
  // the job and then until ChatGPT's answer is in; it is wiped before
  // anything else is printed. A dumb terminal cannot rewrite a line.
  const bool status_line = out.redraws_lines();
  Clock::time_point connected_at = started;
  bool status_shown = false;
  std::string shown_count;
  const auto clear_status = [&] {
    if (status_shown) out << "\r\x1b[K" << std::flush;
    status_shown = false;
  };
  const auto says = [&](const i18n::Text& answer, const i18n::Text& report) {
    return i18n::tr(timings.probe ? report : answer);
  };
  JobExchange::Seen seen = exchange.wait(std::chrono::milliseconds(0));
  for (;;) {
    // Said before anything else: the wait may end with this very look.
    if (seen.pairing_mismatch) {
      clear_status();
      std::string what = std::string(i18n::tr(kPairingMismatch));
      if (!help.extension_folder.empty()) what += fmt::format("\n{} {}", i18n::tr(kSetupFolder), help.extension_folder);
      out << out.paint("33", what) << std::endl;
    }
    if (seen.result) return clear_status(), *std::move(seen.result);
    if (seen.bridge_failed) return clear_status(), stopped(StopReason::BridgeFailed);
    if (interrupt && *interrupt) return clear_status(), stopped(StopReason::Interrupted);
    const Clock::time_point now = Clock::now();
    if (seen.connected && !announced) {
      clear_status();
      out << out.paint("32", says(kWaiting, kWaitingForReport)) << std::endl;
      announced = true;
      connected_at = now;
    }
    if (!seen.connected && now >= deadline && !hinted) {
      clear_status();
      const std::string what = std::string(i18n::tr(kNotConnected)) + help.not_connected;
      if (!timings.patient) return stopped(StopReason::NotConnected, what);
      out << out.paint("33", what) << '\n' << out.paint("33", says(kStillWaitingForExtension, kStillWaitingForExtensionToProbe)) << std::endl;
      hinted = true;
    }
    if (announced && !status_line && now - last_notice >= timings.notice_interval) {
      out << out.paint("33", says(kStillWaiting, kStillWaitingForReport)) << std::endl;
      last_notice = now;
    }
    auto wait = seen.connected || hinted ? timings.slice
                                         : std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::max(deadline - now, Clock::duration::zero()));
    if (status_line) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - (seen.connected ? connected_at : started));
      const std::string counted = seen.connected ? fmt::format(fmt::runtime(says(kAnswering, kReading)), seconds.count())
                                                 : fmt::format("{} ({} s)", says(kWaitingForExtension, kWaitingForExtensionToProbe), seconds.count());
      // Looked at ten times a second, drawn only when the count changes.
      // Kept to one row: a wrapped status line would leave rows behind that
      // "\r" does not return to.
      if (!status_shown || counted != shown_count)
        out << "\r" << out.paint("90", line_editor::fit_to_columns(counted, out.columns())) << "\x1b[K" << std::flush;
      shown_count = counted;
      status_shown = true;
      wait = std::min<std::chrono::milliseconds>(wait, std::chrono::seconds(1));
    }
    // A signal cannot wake the exchange: look at the flag often.
    if (interrupt) wait = std::min<std::chrono::milliseconds>(wait, std::chrono::milliseconds(100));
    seen = exchange.wait(wait, seen.connected);
  }
}

std::expected<JobResult, Stopped> publish_and_wait_for_result(JobExchange& exchange, Job job,
                                                                  const WaitHelp& help,
                                                                  const WaitTimings& timings,
                                                                  const std::atomic<bool>* interrupt, const Printer& out) {
  WaitTimings waiting = timings;
  waiting.probe = job.probe;
  exchange.publish(std::move(job));
  auto result = wait_for_result(exchange, help, waiting, interrupt, out);
  if (!result && result.error().reason == StopReason::Interrupted) exchange.withdraw();
  return result;
}
