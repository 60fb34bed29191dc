#include "controller/app_controller.h"

#include "backup/backup_reader.h"
#include "json/writer.h"
#include "platform/base/log.h"
#include "platform/base/main_queue.h"
#include "platform/base/url_escape.h"
#include "platform/files/bundle.h"
#include "platform/files/home.h"
#include "platform/ui/workspace.h"

namespace ovra::controller {
namespace {

constexpr unsigned kFillMask = platform::kViewWidthSizable | platform::kViewHeightSizable;
// The split view's thin divider style.
constexpr int kThinDividerStyle = 2;

// Any function of this module: its address tells which module, and so which bundle, the
// controller came from.
void bundleAnchor() {}

// What the pages may call on `appController`, and what each call answers. Nothing else
// is exposed.
struct PageMethod {
  std::string_view name;
  std::optional<std::string> (*call)(AppController&);
};
constexpr PageMethod kPageMethods[] = {
    {"getTimeLine", [](AppController& c) -> std::optional<std::string> { return c.getTimeLine(); }},
    {"getContacts", [](AppController& c) { return c.getContacts(); }},
    {"getDetailedLog",
     [](AppController& c) -> std::optional<std::string> { return c.getDetailedLog(); }},
    {"getReadingSummary",
     [](AppController& c) -> std::optional<std::string> { return c.getReadingSummary(); }},
    {"ignoreFacebook",
     [](AppController& c) -> std::optional<std::string> {
       c.ignoreFacebook();
       return std::nullopt;
     }},
};

const PageMethod* pageMethod(std::string_view name) {
  for (const PageMethod& m : kPageMethods) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<AppController> AppController::alloc() {
  return std::shared_ptr<AppController>(new AppController());
}

AppController::~AppController() = default;

void AppController::setGraphAddresses(std::string graphBaseURL, std::string redirectAddress) {
  graphBaseURL_ = std::move(graphBaseURL);
  loginRedirectURI_ = std::move(redirectAddress);
}

AppController* AppController::init(std::shared_ptr<platform::View> view,
                                   std::function<void()> doneCallback) {
  platform::log("AppController init");
  // The base initialisation: the controller must be held by a shared owner (its threads
  // and queued calls keep it alive through it) and is initialised once.
  std::shared_ptr<AppController> self = weak_from_this().lock();
  if (!self || initialised_.exchange(true)) return nullptr;

  destView_ = std::move(view);
  destViewWasShown_ = destView_ && destView_->superview() != nullptr;
  hasDrawn_ = false;
  readyCallback_ = std::move(doneCallback);
  s_ = std::make_shared<model::Session>();

  std::shared_ptr<platform::WebView> loginPane = showLoadingInfo();
  // The threads hand their reference back to the main thread, so that the controller, and
  // with it its views, never ends on a background thread.
  platform::detachNewThread([self]() mutable {
    self->setUpLocal();
    platform::releaseOnMainThread(std::move(self));
  });

  facebook_ = std::make_shared<facebook::GraphClient>(graphBaseURL_, loginRedirectURI_);
  facebook_->initWithClientID(kFacebookClientID);
  facebook_->authenticateWithCallbackObject(
      std::weak_ptr<facebook::GraphLoginTarget>(self),
      [](facebook::GraphLoginTarget& target) {
        static_cast<AppController&>(target).facebookLoginCallback();
      },
      kFacebookPermissions, loginPane);
  return this;
}

void AppController::finit() {
  finished_ = true;
  // The pages hold this controller as their script object and the done callback holds
  // the view: let go of both so that the removed view and its pages can be released.
  readyCallback_ = nullptr;
  destView_.reset();
}

std::shared_ptr<platform::WebView> AppController::showLoadingInfo() {
  const platform::Rect frame = destView_ ? destView_->frame() : platform::Rect{};
  std::shared_ptr<platform::SplitView> split = platform::SplitView::create(frame);
  split->setVertical(true);
  split->setDividerStyle(kThinDividerStyle);
  split->setAutoresizesSubviews(true);
  split->setAutoresizingMask(kFillMask);
  if (destView_) destView_->addSubview(split);

  const double width = frame.width;
  const double height = frame.height;
  std::shared_ptr<platform::WebView> left =
      platform::WebView::create(platform::Rect{0, 0, width * 0.5, height});
  split->addSubview(left);
  left->setAutoresizingMask(kFillMask);
  left->setFrameLoadDelegate(weak_from_this());
  left->setPolicyDelegate(weak_from_this());
  left->loadURL(getResourceURL("loading.html"));
  left->setWindowScriptValue("appController", shared_from_this());

  std::shared_ptr<platform::WebView> right =
      platform::WebView::create(platform::Rect{width * 0.5, 0, width * 0.5, height});
  right->setAutoresizingMask(kFillMask);
  split->addSubview(right);

  if (destView_) destView_->setAutoresizesSubviews(true);
  return right;
}

void AppController::setUpLocal() {
  backup::BackupReader reader(platform::homeFolder(), *s_, detailedLog_);
  reader.setBackupsFolder(platform::backupsFolder());
  reader.extractPlatformContents();
  {
    platform::MutexLock lock(readingMu_);
    readingFolder_ = reader.directory();
    backupsRead_ = reader.backupsRead();
  }
  deviceReady_ = true;
  platform::log("device ready");
  drawComponents();
}

std::string AppController::getResourceURL(std::string_view name) const {
  std::optional<std::string> module =
      platform::modulePathContaining(reinterpret_cast<const void*>(&bundleAnchor));
  std::string folder = platform::resourceFolderForModule(module ? *module : std::string());
  return platform::fileURL(folder + "/" + std::string(name));
}

bool AppController::checkReady() const { return deviceReady_ && facebookReady_; }

void AppController::drawComponents() {
  {
    std::scoped_lock lock(monitor_);
    if (!checkReady() || hasDrawn_) return;
    hasDrawn_ = true;
  }
  s_->arrangeContents();
  s_->buildContactRows(model::Session::kShownMinEvents);
  const bool haveRows = s_->contactRowCount() != 0;
  std::shared_ptr<AppController> self = shared_from_this();
  platform::performOnMainThread([self, haveRows] { self->notifyReady(haveRows); }, false);
  // The main page asks for the timeline as soon as it has loaded: build it meanwhile.
  if (haveRows) s_->prepareTimeline();
}

void AppController::notifyReady(bool haveRows) {
  notifiedReady_ = true;
  if (pageChangesInert()) return;
  if (haveRows) {
    if (readyCallback_) readyCallback_();
  } else {
    notifyNoData();
  }
}

void AppController::notifyNoData() {
  platform::log("No data...");
  std::shared_ptr<platform::WebView> page = replaceContentsWithWebView();
  page->setWindowScriptValue("appController", shared_from_this());
  page->loadURL(getResourceURL("noData.html"));
}

void AppController::showLoadingWithoutFacebook() {
  if (notifiedReady_ || pageChangesInert()) return;
  replaceContentsWithWebView()->loadURL(getResourceURL("loading_afterFacebook.html"));
}

void AppController::markFacebookReady() {
  facebookReady_ = true;
  std::shared_ptr<AppController> self = shared_from_this();
  platform::detachNewThread([self]() mutable {
    self->drawComponents();
    platform::releaseOnMainThread(std::move(self));
  });
}

void AppController::ignoreFacebook() {
  platform::log("Ignore facebook");
  markFacebookReady();
  showLoadingWithoutFacebook();
}

bool AppController::isSelectorExcludedFromWebScriptName(std::string_view method) {
  return pageMethod(method) == nullptr;
}

std::vector<std::string> AppController::webScriptMethods() const {
  std::vector<std::string> names;
  for (const PageMethod& m : kPageMethods) names.emplace_back(m.name);
  return names;
}

bool AppController::isSelectorExcludedFromWebScript(std::string_view method) const {
  return isSelectorExcludedFromWebScriptName(method);
}

std::optional<std::string> AppController::invokeFromWebScript(std::string_view method) {
  const PageMethod* m = pageMethod(method);
  return m ? m->call(*this) : std::nullopt;
}

std::string AppController::getTimeLine() const { return s_->allEvents(); }

std::optional<std::string> AppController::getContacts() const {
  return s_->peopleJSONRepresentation();
}

std::string AppController::getDetailedLog() const {
  std::string text = detailedLog_.text();
  return text.empty() ? std::string("No valid backup folders found") : text;
}

std::string AppController::getReadingSummary() const {
  // The flag first: the folder and count are set before it.
  const bool finished = deviceReady_;
  const model::Session::ReadingCounts counts = s_->readingCounts();
  const auto count = [](size_t n) { return json::Value(static_cast<long long>(n)); };
  json::Object out;
  out.set("finished", finished);
  if (finished) {
    platform::MutexLock lock(readingMu_);
    out.set("folder", readingFolder_);
    out.set("backups", count(backupsRead_));
  }
  out.set("contacts", count(counts.contacts));
  out.set("events", count(counts.events));
  out.set("matched", counts.matched);
  if (counts.matched) {
    out.set("shown", count(counts.shown));
    out.set("people", count(counts.people));
    out.set("fewer", count(counts.fewer));
    out.set("fewerPeople", count(counts.fewerPeople));
    out.set("unknown", count(counts.unknown));
    out.set("noNumber", count(counts.noNumber));
  }
  // Names, booleans and integers only: the text cannot fail to write.
  return json::KtJsonWriter().stringWithObject(json::Value(std::move(out))).value_or("{}");
}

void AppController::webViewDidFinishLoadForFrame(platform::WebView& /*webView*/) {}

void AppController::decidePolicyForNewWindowAction(platform::WebView& /*webView*/,
                                                   const std::string& requestURL,
                                                   const std::string& /*newFrameName*/,
                                                   platform::PolicyDecisionListener& listener) {
  const size_t colon = requestURL.find(':');
  const std::string_view scheme = colon == std::string::npos
                                      ? std::string_view()
                                      : std::string_view(requestURL).substr(0, colon);
  if (scheme == "http") {
    listener.ignore();
    platform::openURL(requestURL);
  } else {
    listener.use();
  }
}

bool AppController::pageChangesInert() const {
  return finished_ || (destViewWasShown_ && destView_ && !destView_->superview());
}

std::shared_ptr<platform::WebView> AppController::replaceContentsWithWebView() {
  const platform::Rect frame = destView_ ? destView_->frame() : platform::Rect{};
  if (destView_) {
    // Copy first: removing a subview changes the list.
    std::vector<std::shared_ptr<platform::View>> old = destView_->subviews();
    for (const std::shared_ptr<platform::View>& view : old) view->removeFromSuperview();
  }
  std::shared_ptr<platform::WebView> page = platform::WebView::create(frame);
  page->setAutoresizingMask(kFillMask);
  if (destView_) destView_->addSubview(page);
  page->setFrameLoadDelegate(weak_from_this());
  page->setPolicyDelegate(weak_from_this());
  return page;
}

}  // namespace ovra::controller
