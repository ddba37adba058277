#include "session/wait.h"

#include <iostream>

#include "i18n/i18n.h"

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

std::optional<BrowserResult> take(BridgeState& state) {
  std::optional<BrowserResult> result = std::move(state.result);
  state.result.reset();
  return result;
}

}  // namespace

Result<BrowserResult> wait_for_result(SharedBridge& shared, std::unique_lock<std::mutex>& lock,
                                      const WaitTimings& timings) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timings.connect_deadline;
  Clock::time_point last_notice = Clock::now();
  bool announced = false;
  BridgeState& state = shared.state;
  if (auto result = take(state)) return *result;
  for (;;) {
    if (shared.poisoned) return failure(kPoisonedLock);
    const Clock::time_point now = Clock::now();
    if (state.connected && !announced) {
      std::cout << color("32", i18n::tr(kWaiting)) << std::endl;
      announced = true;
    }
    if (!state.connected && now >= deadline) return failure(std::string(i18n::tr(kNotConnected)));
    if (announced && now - last_notice >= timings.notice_interval) {
      std::cout << color("33", i18n::tr(kStillWaiting)) << std::endl;
      last_notice = now;
    }
    const auto wait = state.connected ? timings.slice : std::chrono::duration_cast<std::chrono::milliseconds>(
                                                            std::max(deadline - now, Clock::duration::zero()));
    shared.changed.wait_for(lock, wait);
    if (auto result = take(state)) return *result;
  }
}
