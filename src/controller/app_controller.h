// AppController: the plug-in's one controller. It fills the visualizer view with the
// loading screen (loading page beside the social-network login), reads the phone backups
// into its Session on an extraction thread, waits for both the backups and the login
// step, builds the contact rows once, and shows the main page (through the done
// callback) or the no-data page. It is also the delegate of the web views it makes and
// the script object `appController` that the pages call.
//
// Ownership: made by alloc() as a shared object; the threads it starts and the calls it
// queues hold it, so it lives until they have finished. It keeps its view until finit().
// Threads: creation, page changes, delegate and page calls on the main thread; the
// extraction and the final build on background threads. The readiness flags are atomic;
// the check-and-claim of the build is done under the controller's monitor; the Session
// and the detailed log lock themselves, so a page may read while the extraction writes.
#ifndef OVRA_CONTROLLER_APP_CONTROLLER_H_
#define OVRA_CONTROLLER_APP_CONTROLLER_H_

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/detailed_log.h"
#include "facebook/graph_client.h"
#include "model/session.h"
#include "platform/base/thread_annotations.h"
#include "platform/ui/view.h"

namespace ovra::controller {

// The social network's application client identifier and the permissions asked for.
inline constexpr char kFacebookClientID[] = "584213907361492";
inline constexpr char kFacebookPermissions[] = "read_mailbox,offline_access";

class AppController : public platform::FrameLoadDelegate,
                      public platform::PolicyDelegate,
                      public platform::ScriptObject,
                      public facebook::GraphLoginTarget,
                      public std::enable_shared_from_this<AppController> {
 public:
  // Allocation is kept apart from initialisation, so that the glue can hold the
  // controller before it starts.
  static std::shared_ptr<AppController> alloc();
  ~AppController() override;

  // Main thread. Shows the loading screen in `view` (which may be absent), starts the
  // extraction thread and the login. Returns this, or null when the base initialisation
  // fails (the controller is not held by a shared owner, or was initialised already);
  // then nothing is started.
  AppController* init(std::shared_ptr<platform::View> view, std::function<void()> doneCallback);
  // Before init(): the Graph API base URL and login redirect address the controller's
  // client is made with (the real service's unless set); tests use a loopback server.
  void setGraphAddresses(std::string graphBaseURL, std::string redirectAddress);

  // Main thread. Makes every later page change of this controller inert and lets go of
  // its view; running work finishes without showing anything.
  void finit();

  // Builds the two-pane loading screen; returns the right-hand (login) pane.
  std::shared_ptr<platform::WebView> showLoadingInfo();
  // The extraction thread's work: reads the backups, then deviceReady and the latch.
  void setUpLocal();
  // The file URL of a resource of the plug-in bundle (not checked for existence).
  std::string getResourceURL(std::string_view name) const;
  // Both the backups and the login step are done, or the backups hold no contact at all,
  // so that nothing could be shown whatever the login brings.
  bool checkReady() const;
  // The latch and the final build; background threads.
  void drawComponents();
  void notifyReady(bool haveRows);
  void notifyNoData();
  void showLoadingWithoutFacebook();
  void markFacebookReady();
  void ignoreFacebook();
  // Told by the login once it has the access token; imports the inbox.
  void facebookLoginCallback();

  // The page's script: exactly getTimeLine, getContacts, getDetailedLog,
  // getReadingSummary and ignoreFacebook may be called; webScriptMethods() lists them,
  // for the engines.
  static bool isSelectorExcludedFromWebScriptName(std::string_view method);
  std::vector<std::string> webScriptMethods() const override;
  bool isSelectorExcludedFromWebScript(std::string_view method) const override;
  std::optional<std::string> invokeFromWebScript(std::string_view method) override;
  std::string getTimeLine() const;
  // The contact rows as JSON text ("[]" before the build), or nothing when they cannot be
  // written.
  std::optional<std::string> getContacts() const;
  std::string getDetailedLog() const;
  // What the reading found, as a JSON object: "finished" (whether every backup was read),
  // the "contacts" and "events" read so far; once finished the "folder" looked in and the
  // "backups" read; once the events are matched, "matched" true and how the events read
  // divide: "shown" (with the "people" shown), "fewer" (with the "fewerPeople" below the
  // threshold), "unknown" (numbers or names in no contact) and "noNumber" (no address),
  // which add up to "events".
  std::string getReadingSummary() const;

  // Web view delegates.
  void webViewDidFinishLoadForFrame(platform::WebView& webView) override;
  void decidePolicyForNewWindowAction(platform::WebView& webView, const std::string& requestURL,
                                      const std::string& newFrameName,
                                      platform::PolicyDecisionListener& listener) override;

  const std::shared_ptr<model::Session>& s() const { return s_; }
  backup::DetailedLog& detailedLog() { return detailedLog_; }
  const std::shared_ptr<facebook::GraphClient>& _facebook() const { return facebook_; }
  const std::shared_ptr<platform::View>& destView() const { return destView_; }
  bool facebookReady() const { return facebookReady_.load(); }
  bool deviceReady() const { return deviceReady_.load(); }
  bool hasDrawn() const { return hasDrawn_.load(); }
  bool notifiedReady() const { return notifiedReady_.load(); }
  bool finished() const { return finished_.load(); }

 private:
  AppController() = default;
  // Late page changes show nothing once finit() was sent or the view left the screen.
  bool pageChangesInert() const;
  // A web view filling destView, with this controller as its delegates.
  std::shared_ptr<platform::WebView> replaceContentsWithWebView();

  std::shared_ptr<model::Session> s_;                           // set before any thread starts
  std::shared_ptr<facebook::GraphClient> facebook_;             // main thread only
  std::string graphBaseURL_ = facebook::kGraphBaseURL;          // main thread only
  std::string loginRedirectURI_ = facebook::kLoginRedirectURI;  // main thread only
  std::shared_ptr<platform::View> destView_;                    // main thread only
  bool destViewWasShown_ = false;  // main thread only; it had a superview
  std::atomic<bool> facebookReady_{false};
  std::atomic<bool> deviceReady_{false};
  std::atomic<bool> hasDrawn_{false};  // claimed under monitor_
  std::atomic<bool> notifiedReady_{false};
  std::atomic<bool> initialised_{false};
  std::atomic<bool> finished_{false};
  backup::DetailedLog detailedLog_;  // locks itself
  // Where the extraction looked and how many backups it read; set once before deviceReady_.
  mutable platform::Mutex readingMu_;
  std::string readingFolder_ OVRA_GUARDED_BY(readingMu_);
  size_t backupsRead_ OVRA_GUARDED_BY(readingMu_) = 0;
  std::function<void()> readyCallback_;   // main thread only
  mutable std::recursive_mutex monitor_;  // the controller's monitor
};

}  // namespace ovra::controller

#endif  // OVRA_CONTROLLER_APP_CONTROLLER_H_
