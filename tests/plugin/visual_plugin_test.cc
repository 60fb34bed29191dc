// The plug-in's handler against a host of the test's own, with the pages in the headless web
// engine. The bundle's entry goes through the host's own runs (host_test).
#include "plugin/visual_plugin.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "controller_stage.h"
#include "platform/base/url_escape.h"
#include "plugin/visual_view.h"

namespace ovra::plugin {
namespace {

using platform::Rect;
using Pages = std::vector<std::string>;

// The host's side: records the messages the plug-in sends it.
std::vector<OSType> sent;
OSStatus hostProc(void* cookie, OSType message, PlayerMessageInfo*) {
  EXPECT_EQ(cookie, &sent);
  sent.push_back(message);
  return kNoErr;
}

// One plug-in instance made with 'init', freed with 'clr ' at the end; view_ is the host's.
class HandlerTest : public testing::ControllerStage {
 protected:
  void SetUp() override {
    ControllerStage::SetUp();
    sent.clear();
    VisualPluginMessageInfo info{};
    info.u.initMessage.appCookie = &sent;
    info.u.initMessage.appProc = &hostProc;
    ASSERT_EQ(VisualPluginHandler(kVisualPluginInitMessage, &info, nullptr), kNoErr);
    data_ = static_cast<VisualPluginData*>(info.u.initMessage.refCon);
    ASSERT_NE(data_, nullptr);
  }
  void TearDown() override {
    DeactivateVisual(data_);
    EXPECT_EQ(VisualPluginHandler(kVisualPluginCleanupMessage, nullptr, data_), kNoErr);
    ControllerStage::TearDown();
  }

  OSStatus send(OSType message, VisualPluginMessageInfo* info = nullptr) {
    return VisualPluginHandler(message, info, data_);
  }
  OSStatus activate(platform::View* view) {
    VisualPluginMessageInfo info{};
    info.u.activateMessage.view = view;
    return send(kVisualPluginActivateMessage, &info);
  }
  // The bundle pages loaded into web views under `root`, back to front.
  static Pages pagesIn(const platform::View& root) {
    Pages names;
    for (const auto& view : platform::HeadlessEngine::webViewsIn(root)) {
      const std::string url = view->mainFrameURL();
      if (url.starts_with("file:")) names.push_back(platform::lastPathComponentOfURL(url));
    }
    return names;
  }
  VisualPluginData* data_ = nullptr;
};

TEST_F(HandlerTest, ActivationShowsTheLoadingScreenAndDeactivationTakesItDown) {
  ASSERT_EQ(activate(view_.get()), kNoErr);
  ASSERT_TRUE(data_->visualView);
  EXPECT_EQ(data_->visualView->frame(), kArea);
  EXPECT_EQ(std::ranges::count(sent, kPlayerRequestCurrentTrackCoverArtMessage), 1);
  // A track change asks again while a view is shown, and marks the view for drawing.
  data_->visualView->setNeedsDisplay(false);
  VisualPluginMessageInfo info{};
  EXPECT_EQ(send(kVisualPluginChangeTrackMessage, &info), kNoErr);
  EXPECT_EQ(std::ranges::count(sent, kPlayerRequestCurrentTrackCoverArtMessage), 2);
  EXPECT_TRUE(data_->visualView->needsDisplay());
  // The host resizes its view and says so with 'Vfrm': the handler takes the new bounds,
  // and the masks and the split lay the loading page and the sign-in pane out again.
  view_->setAutoresizesSubviews(true);
  view_->setFrame(Rect{0, 0, 1000, 500});
  EXPECT_EQ(send(kVisualPluginFrameChangedMessage, &info), kNoErr);
  EXPECT_EQ(data_->visualView->frame(), (Rect{0, 0, 1000, 500}));
  const auto panes = platform::HeadlessEngine::webViewsIn(*view_);
  ASSERT_EQ(panes.size(), 2u);
  EXPECT_EQ(panes[0]->frame(), (Rect{0, 0, 500, 500}));  // each keeps its half
  EXPECT_EQ(panes[1]->frame(), (Rect{500, 0, 500, 500}));

  ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
  EXPECT_TRUE(view_->subviews().empty());
  EXPECT_EQ(currentApp(), nullptr);
  // Moving while inactive gives zero rectangles.
  EXPECT_EQ(send(kVisualPluginWindowChangedMessage, &info), kNoErr);
  EXPECT_EQ(data_->hostRect, Rect{});

  // Without a view: zero rectangles, and no cover art is asked for.
  ASSERT_EQ(activate(nullptr), kNoErr);
  ASSERT_TRUE(data_->visualView && currentApp());
  EXPECT_EQ(data_->visualView->frame(), Rect{});
  EXPECT_EQ(send(kVisualPluginPlayMessage, &info), kNoErr);
  EXPECT_EQ(std::ranges::count(sent, kPlayerRequestCurrentTrackCoverArtMessage), 2);
}

// A second activation gets a new view and controller; the first, deactivated while reading,
// shows nothing when it finishes, and the second ends on the main page over its loading views.
TEST_F(HandlerTest, ReactivationLeavesTheFirstControllersLateWorkInert) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", {{"Ada", "L", "0612345678", 6}}), "");
  testing::GatedBackup gate(home_.path(), "slow");
  ASSERT_TRUE(gate.ok());
  ASSERT_EQ(activate(view_.get()), kNoErr);
  std::shared_ptr<OvraVisualView> firstView = data_->visualView;
  std::shared_ptr<controller::AppController> first = currentApp();
  first->ignoreFacebook();
  ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
  EXPECT_TRUE(first->finished());

  ASSERT_EQ(activate(view_.get()), kNoErr);
  EXPECT_NE(currentApp(), first);
  // Both extractions wait on the gate; the first controller has its login step done.
  gate.open();
  ASSERT_TRUE(runUntil([&] { return first->notifiedReady(); }));
  EXPECT_EQ(pagesIn(*firstView), Pages{"loading_afterFacebook.html"});
  EXPECT_EQ(pagesIn(*view_), Pages{"loading.html"});
  EXPECT_EQ(engine_->webViewShowing("main.html"), nullptr);

  currentApp()->ignoreFacebook();
  ASSERT_TRUE(runUntil([&] { return engine_->webViewShowing("main.html") != nullptr; }));
  EXPECT_EQ(pagesIn(*view_), (Pages{"loading_afterFacebook.html", "main.html"}));
  EXPECT_EQ(engine_->webViewShowing("main.html")->frame(), kArea);
}

// Ten activations and deactivations in one process, each reading a backup to the main page:
// no thread and no open file is left behind (leaks are the sanitizer's to find).
TEST_F(HandlerTest, TenCyclesLeaveNoThreadOrFileBehind) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", {{"Ada", "L", "0612345678", 6}}), "");
  const auto entries = [](const char* folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
  };
  long threads = 0, files = 0;
  for (int cycle = 0; cycle < 10; ++cycle) {
    ASSERT_EQ(activate(view_.get()), kNoErr);
    currentApp()->ignoreFacebook();
    ASSERT_TRUE(runUntil([&] { return engine_->webViewShowing("main.html") != nullptr; }));
    ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
    platform::waitForBackgroundWork();
    if (cycle == 0) threads = entries("/proc/self/task"), files = entries("/proc/self/fd");
  }
  EXPECT_EQ(entries("/proc/self/task"), threads);
  EXPECT_EQ(entries("/proc/self/fd"), files);
}

}  // namespace
}  // namespace ovra::plugin
