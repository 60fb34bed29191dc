// ovra: the media-player stand-in. It loads the Ovra plug-in bundle, registers it, gives
// it a visualizer area and drives it from the main queue until the user stops it. The
// area is shown in the user's browser at the address it prints. With --headless it shows
// the pages in memory, skips the social-network login the way a person on the loading
// page would, waits for the final page and prints one JSON object with the page and the
// three texts the page can read. The password of an encrypted backup comes from
// --password-file, else the browser's password pane, else (headless) the terminal.
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "json/value.h"
#include "json/writer.h"
#include "options.h"
#include "platform/base/log.h"
#include "platform/base/main_queue.h"
#include "platform/browser/browser_engine.h"
#include "platform/files/bundle.h"
#include "platform/files/home.h"
#include "platform/files/keychain.h"
#include "platform/ui/headless_engine.h"
#include "plugin_host.h"

extern char** environ;

namespace {

using namespace ovra;
using namespace std::chrono_literals;

constexpr char kVersion[] = "ovra 2.0 (development)";
constexpr platform::Rect kVisualizerArea{0, 0, 1024, 768};
// However large the backups, the final page is expected well before this.
constexpr auto kHeadlessLimit = 600s;

// Watches SIGINT and SIGTERM (blocked in every thread) and stops the main queue. SIGUSR1,
// blocked as well, only wakes it to end.
class SignalWatcher {
 public:
  SignalWatcher() {
    thread_ = std::thread([this] {
      const sigset_t set = watchedSignals();
      for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        if (signal == SIGUSR1) {
          if (done_) return;
          continue;
        }
        interrupted_ = true;
        platform::stopMainQueue();
      }
    });
  }
  ~SignalWatcher() {
    done_ = true;
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }
  bool interrupted() const { return interrupted_; }

  static sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    return set;
  }

 private:
  std::atomic<bool> done_{false};
  std::atomic<bool> interrupted_{false};
  std::thread thread_;
};

std::string defaultBundlePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "Ovra.bundle";
  return (exe.parent_path().parent_path() / "Ovra.bundle").string();
}

// What keeps Ovra from starting with these options, as one line; empty when nothing does.
// A home folder that cannot be listed, a bundle without its module, or a resource folder
// without the four pages would otherwise fail later, with less to say.
std::string startProblem(const host::Options& options, const std::string& bundle) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!options.home.empty() && (fs::directory_iterator(options.home, ec), ec)) {
    return "--home: '" + options.home + "' cannot be read";
  }
  const std::string module = host::PluginHost::modulePath(bundle);
  if (!fs::is_regular_file(module, ec)) return "no plug-in bundle at '" + bundle + "'";
  const std::string resources = platform::resourceFolderForModule(module);
  for (const char* page :
       {"loading.html", "loading_afterFacebook.html", "main.html", "noData.html"}) {
    if (!fs::is_regular_file(resources + "/" + page, ec)) {
      return "the bundle's resource folder '" + resources + "' has no " + page;
    }
  }
  return {};
}

// Starts the user's default browser on `url` and lets it run; says so on stderr when no
// opener can be started.
void openInBrowser(const std::string& url) {
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);  // the opener takes Ctrl-C as usual
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  std::string program = "xdg-open";
  std::string address = url;
  char* argv[] = {program.data(), address.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, "xdg-open", nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  if (error != 0) {
    std::cerr << "ovra: cannot open the browser (xdg-open: " << std::strerror(error) << ")\n";
    return;
  }
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
}

bool isFinalPage(const std::string& resource) {
  return resource == "main.html" || resource == "noData.html";
}

// The text a script call gave (taken over, not copied: the timeline runs to megabytes),
// or null.
json::Value textOrNull(platform::ScriptCallResult result) {
  if (result.value) return json::Value(std::move(*result.value));
  return json::Value(json::Null{});
}

// Runs the headless job on an activated plug-in. Returns the exit status.
int runHeadless(platform::HeadlessEngine& engine, const SignalWatcher& signals) {
  bool skipped = false;
  const auto deadline = std::chrono::steady_clock::now() + kHeadlessLimit;
  auto somethingToDo = [&] {
    if (signals.interrupted() || isFinalPage(engine.lastLoadedResource())) return true;
    for (const platform::HeadlessEngine::Load& load : engine.loads()) {
      if (!load.finished) return true;
    }
    return false;
  };
  while (!isFinalPage(engine.lastLoadedResource())) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!platform::runMainQueueUntil(somethingToDo, std::max(left, 0ms))) {
      std::cerr << "ovra: "
                << (signals.interrupted() ? "interrupted before the final page"
                                          : "no final page within 600 seconds")
                << " (last page: '" << engine.lastLoadedResource() << "')\n";
      return 1;
    }
    engine.finishLoads();
    if (!skipped) {
      std::shared_ptr<platform::WebView> loading = engine.webViewShowing("loading.html");
      if (!loading) {
        std::cerr << "ovra: the plug-in did not show its loading page\n";
        return 1;
      }
      const platform::ScriptCallResult skip =
          engine.callScript(*loading, "appController", "ignoreFacebook");
      if (!skip.ok()) {
        std::cerr << "ovra: the loading page cannot skip the login: " << *skip.error << "\n";
        return 1;
      }
      skipped = true;
    }
  }
  engine.finishLoads();
  const std::string page = engine.lastLoadedResource();
  std::shared_ptr<platform::WebView> view = engine.webViewShowing(page);
  if (!view) {
    std::cerr << "ovra: the final page " << page << " is gone\n";
    return 1;
  }
  const std::pair<const char*, json::Value> members[] = {
      {"page", json::Value(page)},
      {"contacts", textOrNull(engine.callScript(*view, "appController", "getContacts"))},
      {"timeline", textOrNull(engine.callScript(*view, "appController", "getTimeLine"))},
      {"detailedLog", textOrNull(engine.callScript(*view, "appController", "getDetailedLog"))},
  };
  // One JSON object on one line, written a piece at a time: the timeline runs to megabytes,
  // and is escaped and written a slice at a time instead of being copied whole. Escaping
  // works byte by byte, so the slices' texts put together are the whole text's.
  json::KtJsonWriter writer;
  std::string piece;
  std::cout << '{';
  for (size_t m = 0; m < std::size(members); ++m) {
    const auto& [key, value] = members[m];
    piece.clear();
    if (m != 0) piece += ',';
    writer.appendString(key, piece);
    piece += ':';
    if (const std::string* text = value.stringOrNull()) {
      constexpr size_t kSlice = 1 << 16;
      std::string escaped;
      piece += '"';
      for (size_t at = 0; at < text->size(); at += kSlice) {
        std::cout << piece;
        piece.clear();
        escaped.clear();
        writer.appendString(text->substr(at, kSlice), escaped);
        piece.append(escaped, 1, escaped.size() - 2);  // without its quotation marks
      }
      piece += '"';
    } else if (!writer.appendValue(value, piece)) {
      std::cerr << "ovra: the result could not be written as JSON\n";
      return 1;
    }
    std::cout << piece;
  }
  std::cout << '}' << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const base::Result<host::Options> parsed =
      host::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed) {
    std::cerr << "ovra: " << parsed.error() << "\n";
    return 2;
  }
  const host::Options& options = *parsed;
  if (options.help) {
    std::cout << host::kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << kVersion << "\n";
    return 0;
  }

  // Every thread started from here on leaves the stop signals to the watcher.
  const sigset_t watched = SignalWatcher::watchedSignals();
  pthread_sigmask(SIG_BLOCK, &watched, nullptr);
  SignalWatcher signals;

  const std::string bundle = options.bundle.empty() ? defaultBundlePath() : options.bundle;
  if (const std::string problem = startProblem(options, bundle); !problem.empty()) {
    std::cerr << "ovra: " << problem << "\n";
    return 2;
  }
  if (!options.home.empty()) platform::setHomeFolder(options.home);
  platform::setBackupsFolder(options.backups);
  std::shared_ptr<platform::HeadlessEngine> engine;
  std::shared_ptr<platform::BrowserEngine> browser;
  if (options.headless) {
    engine = std::make_shared<platform::HeadlessEngine>();
    platform::setWebEngine(engine);
  } else {
    platform::BrowserEngine::Started started = platform::BrowserEngine::start(
        {platform::resourceFolderForModule(host::PluginHost::modulePath(bundle)), options.port});
    if (!started.engine) {
      std::cerr << "ovra: " << started.error << "\n";
      return started.portBusy ? 2 : 1;
    }
    browser = std::move(started.engine);
    platform::setWebEngine(browser);
    std::cout << "Ovra is showing your pages at " << browser->address() << std::endl;
    // The opener gets a ticket good once, not the secret: its command line is visible to
    // others on the machine.
    if (options.open) {
      const std::string once = browser->oneTimeAddress();
      openInBrowser(once.empty() ? browser->address() : once);
    }
  }

  // The keychain's answers. A waiting prompt or pane ends with nothing when the program
  // does (browser->stop() closes the pane), and the provider goes with main.
  auto prompt = std::make_shared<host::TerminalPrompt>();
  struct ProviderRemover {
    ~ProviderRemover() { platform::setPasswordProvider(nullptr); }
  } removeProvider;
  if (options.password) {
    platform::setPasswordProvider(host::passwordFromFile(options.password));
  } else if (browser) {
    platform::setPasswordProvider(
        [weak = std::weak_ptr<platform::BrowserEngine>(browser)](const auto& request) {
          const std::shared_ptr<platform::BrowserEngine> engine = weak.lock();
          return engine ? engine->askPassword(request) : std::nullopt;
        });
  } else if (isatty(STDIN_FILENO)) {
    platform::setPasswordProvider([prompt](const auto& request) { return prompt->ask(request); });
  }

  base::Result<std::unique_ptr<host::PluginHost>> loaded = host::PluginHost::load(bundle);
  if (!loaded) {
    std::cerr << "ovra: " << loaded.error() << "\n";
    return 1;
  }
  std::unique_ptr<host::PluginHost> host = std::move(*loaded);
  if (host->initInstance() != plugin::kNoErr) {
    std::cerr << "ovra: the plug-in refused to start an instance\n";
    return 1;
  }
  std::shared_ptr<platform::View> area = platform::View::create(kVisualizerArea);
  area->setAutoresizesSubviews(true);
  if (browser) {
    browser->setRootView(area);
    browser->setResizeHandler([&area, &host](platform::Rect frame) {
      area->setFrame(frame);
      host->frameChanged();
    });
  }
  int status = 0;
  if (host->activate(area.get()) != plugin::kNoErr) {
    std::cerr << "ovra: the plug-in could not be activated\n";
    status = 1;
  } else {
    host->startPulses();
    if (options.headless) {
      status = runHeadless(*engine, signals);
    } else {
      platform::runMainQueueUntil([&] { return signals.interrupted(); },
                                  std::chrono::hours(24 * 365));
    }
    prompt->cancel();  // the reader may be waiting for a password; the plug-in waits for it
    host->stopPulses();
    if (browser) {
      browser->stop();
      browser->setResizeHandler(nullptr);
    }
    host->deactivate();
  }
  // No page call may reach the plug-in once it is gone.
  if (browser) browser->stop();
  host->cleanupInstance();
  // Let the controller's threads and queued calls finish before the module goes.
  prompt->cancel();
  platform::waitForBackgroundWork();
  host.reset();
  platform::setWebEngine(nullptr);
  return status;
}
