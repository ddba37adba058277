#include "support/in_process.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "common/text.h"
#include "main/run.h"
#include "session/page_link.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// ChatGPT's page in memory: the address is recorded as a browser opener
// would get it, and the job goes through an exchange the test reads.
class MemoryPageLink : public PageLink {
 public:
  MemoryPageLink(fs::path opened_urls, std::function<void(std::shared_ptr<JobExchange>)> opened)
      : opened_urls_(std::move(opened_urls)), opened_(std::move(opened)) {}
  Status open_page(const std::string& address, const Printer&, bool) override {
    std::ofstream(opened_urls_, std::ios::app) << address << '\n';
    opened_(exchange_);
    return {};
  }
  Result<JobResult, Stopped> ask(Job job, const std::atomic<bool>* interrupt, const Printer& out) override {
    return publish_and_wait_for_result(*exchange_, std::move(job), WaitHelp{}, {}, interrupt, out);
  }
  std::optional<std::string> extension_version() const override { return exchange_->extension_version(); }

 private:
  fs::path opened_urls_;
  std::function<void(std::shared_ptr<JobExchange>)> opened_;
  std::shared_ptr<JobExchange> exchange_ = std::make_shared<JobExchange>();
};

}  // namespace

// What the program writes, kept for the test: the session thread writes
// while the test thread reads what has been written so far.
class InProcessProgram::Capture : public std::streambuf {
 public:
  Capture() : stream_(this), printer_(stream_, false, false) {}
  std::ostream& stream() { return stream_; }
  const Printer& printer() const { return printer_; }
  void send_notices_to(const Printer& notices) { printer_.send_notices_to(notices); }
  std::string text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    std::lock_guard lock(mutex_);
    text_.append(data, static_cast<std::size_t>(size));
    return size;
  }

 private:
  std::ostream stream_;
  Printer printer_;
  mutable std::mutex mutex_;
  std::string text_;
};

InProcessProgram::InProcessProgram(const BinaryRun& run, fs::path opened_urls, Link link)
    : previous_folder_(fs::current_path()), opened_urls_(std::move(opened_urls)) {
  // The environment the real binary gets from the tests: its own home, no
  // locale, colour or Git configuration of the machine's.
  for (const std::string& name : kMachineVariables) env_.unset(name);
  env_.set("WENDLEBOX_LANG", "en");  // the language is fixed once per process
  env_.set("NO_COLOR", "1");         // the test's own output may be a terminal
  env_.set("GIT_CONFIG_NOSYSTEM", "1");
  if (!run.home.empty()) {
    env_.set("HOME", run.home.string());
    env_.set("GIT_CONFIG_GLOBAL", (run.home / ".gitconfig").string());
  }
  for (const auto& [name, value] : run.env) env_.set(name, value);
  if (!run.cwd.empty()) fs::current_path(run.cwd);
  send_input(run.input);
  if (!run.keep_stdin_open) close_input();

  out_ = std::make_unique<Capture>();
  err_ = std::make_unique<Capture>();
  out_->send_notices_to(err_->printer());  // as standard output's go to standard error
  const auto memory = [this](const fs::path&) -> std::unique_ptr<PageLink> {
    return std::make_unique<MemoryPageLink>(opened_urls_, [this](std::shared_ptr<JobExchange> exchange) {
      std::lock_guard lock(exchange_mutex_);
      exchange_ = std::move(exchange);
    });
  };
  const auto bridge = [this, link](const fs::path& folder) -> std::unique_ptr<PageLink> {
    const auto record = [this, link](const std::string& url) -> Status {
      if (link == Link::BridgeWithoutOpener) return failure("No browser opener found.");
      std::ofstream(opened_urls_, std::ios::app) << url << '\n';
      return {};
    };
    return std::make_unique<BridgedPageLink>(0, BridgedPageLink::Opener{.open = record}, "", [this](int port) { port_ = port; },
                                           WaitTimings{}, folder.string());
  };
  const SessionWorld world{
      .page_link = link == Link::Memory ? std::function<std::unique_ptr<PageLink>(const fs::path&)>(memory) : bridge,
      .read_prompt =
          [this](const std::optional<std::string>& address,
                 std::vector<std::string>&) -> Result<std::optional<std::string>> {
            {
              std::lock_guard lock(input_mutex_);
              addresses_shown_.push_back(address);
            }
            out_->stream() << "You > " << std::flush;
            return next_line();
          },
      .out = out_->printer()};
  exit_code_ = std::async(std::launch::async,
                          [this, args = run.args, world] { return exit_status(wendlebox::run(args, world), world.out, err_->printer()); });
}

InProcessProgram::~InProcessProgram() {
  if (!finished_) finish();
  std::error_code ignored;
  fs::current_path(previous_folder_, ignored);
}

// The stand-in for the terminal: blank lines are skipped and /exit or the
// end of input leaves the session, as at the real prompt.
std::optional<std::string> InProcessProgram::next_line() {
  std::unique_lock lock(input_mutex_);
  for (;;) {
    input_changed_.wait(lock, [&] { return !lines_.empty() || input_closed_; });
    if (lines_.empty()) return std::nullopt;
    const std::string line(trim(lines_.front()));
    lines_.pop_front();
    if (line == "/exit") return std::nullopt;
    if (!line.empty()) return line;
  }
}

void InProcessProgram::send_input(const std::string& text) {
  std::lock_guard lock(input_mutex_);
  partial_line_ += text;
  for (std::size_t end; (end = partial_line_.find('\n')) != std::string::npos;) {
    lines_.push_back(partial_line_.substr(0, end));
    partial_line_.erase(0, end + 1);
  }
  input_changed_.notify_all();
}

void InProcessProgram::close_input() {
  std::lock_guard lock(input_mutex_);
  if (!partial_line_.empty()) lines_.push_back(std::exchange(partial_line_, ""));
  input_closed_ = true;
  input_changed_.notify_all();
}

std::string InProcessProgram::output_so_far() const { return finished_ ? finished_->out : out_->text(); }

std::vector<std::optional<std::string>> InProcessProgram::addresses_shown() const {
  std::lock_guard lock(input_mutex_);
  return addresses_shown_;
}

int InProcessProgram::port() const {
  wait_until([&] { return port_ != 0; });
  return port_;
}

std::shared_ptr<JobExchange> InProcessProgram::exchange() const {
  const auto opened = [&] {
    std::lock_guard lock(exchange_mutex_);
    return exchange_;
  };
  wait_until([&] { return opened() != nullptr; });
  return opened();
}

CommandResult InProcessProgram::finish(std::chrono::seconds limit) {
  if (finished_) return *finished_;
  close_input();
  if (exit_code_.wait_for(limit) != std::future_status::ready) {
    // A thread cannot be killed as a child process can: a session still
    // waiting for its extension would hold the test forever.
    std::fprintf(stderr, "The program did not end within %lld s; ending the test process.\n",
                 static_cast<long long>(limit.count()));
    std::_Exit(1);
  }
  const int code = exit_code_.get();
  finished_ = CommandResult{.exit_code = code, .out = out_->text(), .err = err_->text()};
  return *finished_;
}

}  // namespace wendlebox
