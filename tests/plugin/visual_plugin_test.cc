#include "plugin/visual_plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/url_escape.h"
#include "platform/ui/headless_engine.h"
#include "platform/files/home.h"
#include "platform/base/log.h"
#include "platform/base/main_queue.h"
#include "plugin/visual_view.h"
#include "test_home.h"

namespace ovra::plugin {
namespace {

using platform::Rect;
using Numbers = std::vector<uint32_t>;
using Pages = std::vector<std::string>;

Numbers versionAndSize(const PlayerMessageHeader& h) {
  return {h.messageMajorVersion, h.messageMinorVersion, h.messageInfoSize};
}

// A host that records every call the plug-in makes into it.
struct FakeHost {
  struct Call {
    OSType message;
    PlayerMessageInfo info;
  };
  std::vector<Call> calls;
  OSStatus answer = kNoErr;

  static OSStatus proc(void* cookie, OSType message, PlayerMessageInfo* info) {
    auto* host = static_cast<FakeHost*>(cookie);
    host->calls.push_back(Call{message, *info});
    return host->answer;
  }
  size_t coverArtRequests() const {
    return std::count_if(calls.begin(), calls.end(), [](const Call& c) {
      return c.message == kPlayerRequestCurrentTrackCoverArtMessage;
    });
  }
};

// One plug-in instance made with 'init', freed with 'clr ' at the end.
class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setWebEngine(engine_);
    platform::setHomeFolder(home_.path());
    VisualPluginMessageInfo info{};
    info.u.initMessage.appCookie = &host_;
    info.u.initMessage.appProc = &FakeHost::proc;
    ASSERT_EQ(VisualPluginHandler(kVisualPluginInitMessage, &info, nullptr), kNoErr);
    data_ = static_cast<VisualPluginData*>(info.u.initMessage.refCon);
    ASSERT_NE(data_, nullptr);
  }
  void TearDown() override {
    DeactivateVisual(data_);
    EXPECT_EQ(VisualPluginHandler(kVisualPluginCleanupMessage, nullptr, data_), kNoErr);
    platform::waitForBackgroundWork();
    platform::setHomeFolder("");
    platform::setWebEngine(nullptr);
  }

  OSStatus send(OSType message, VisualPluginMessageInfo* info = nullptr) {
    return VisualPluginHandler(message, info, data_);
  }
  OSStatus activate(const std::shared_ptr<platform::View>& view) {
    VisualPluginMessageInfo info{};
    info.u.activateMessage.view = view.get();
    info.u.activateMessage.options = 7;
    return send(kVisualPluginActivateMessage, &info);
  }
  // Presses "skip" on the loading page, through the bridge.
  bool skipLogin() {
    auto loading = engine_->webViewShowing("loading.html");
    return loading && engine_->callScript(*loading, "appController", "ignoreFacebook").ok();
  }
  bool writeBackup() {  // one contact with enough messages to be shown
    return testing::writeTestBackup(home_.path(), "phone", {{"Ada", "L", "0612345678", 6}}).empty();
  }
  bool runUntil(const std::function<bool()>& done) {
    return testing::runFinishingLoads(*engine_, done);
  }
  // The bundle pages loaded into web views under `root`, back to front.
  static Pages pagesIn(const platform::View& root) {
    Pages names;
    for (const auto& view : platform::HeadlessEngine::webViewsIn(root)) {
      if (view->mainFrameURL().starts_with("file:")) {
        names.push_back(platform::lastPathComponentOfURL(view->mainFrameURL()));
      }
    }
    return names;
  }

  testing::TempHome home_;
  std::shared_ptr<platform::HeadlessEngine> engine_ = std::make_shared<platform::HeadlessEngine>();
  FakeHost host_;
  VisualPluginData* data_ = nullptr;
  std::shared_ptr<platform::View> hostView_ = platform::View::create(Rect{0, 0, 640, 480});
};

TEST(PluginEntry, RegistersOneVisualPluginWithItsValues) {
  FakeHost host;
  PluginMessageInfo init{};
  init.u.initMessage.appCookie = &host;
  init.u.initMessage.appProc = &FakeHost::proc;
  host.answer = 17;  // the host's status comes back unchanged
  EXPECT_EQ(iTunesPluginMainMachO(kPluginInitMessage, &init, nullptr), 17);
  ASSERT_EQ(host.calls.size(), 1u);
  const FakeHost::Call& call = host.calls[0];
  EXPECT_EQ(call.message, fourCharCode("regv"));
  EXPECT_EQ(versionAndSize(call.info.header), (Numbers{10, 7, 580}));
  const PlayerRegisterVisualPluginMessage& reg = call.info.u.registerVisualPluginMessage;
  EXPECT_EQ(reg.name[0], 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(reg.name + 1), 4), u"Ovra");
  uint32_t version = 0;  // built byte by byte: major in the highest
  std::memcpy(&version, &reg.pluginVersion, 4);
  EXPECT_EQ(version, 0x02002000u);
  // Fields of the packed record are copied out, never bound to references.
  EXPECT_EQ(VisualPluginProcPtr{reg.handler}, &VisualPluginHandler);
  EXPECT_EQ(static_cast<const void*>(reg.registerRefCon), nullptr);
  // Every other byte is zero: the unused name units and everything after the record.
  for (size_t i = 5; i < 256; ++i) EXPECT_EQ(reg.name[i], 0) << i;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&call.info);
  for (size_t i = sizeof(PlayerMessageHeader) + sizeof reg; i < sizeof call.info; ++i) {
    EXPECT_EQ(bytes[i], 0) << i;
  }

  EXPECT_EQ(iTunesPluginMainMachO(kPluginCleanupMessage, nullptr, nullptr), kNoErr);
  EXPECT_EQ(iTunesPluginMainMachO(fourCharCode("Vact"), &init, nullptr), kUnimpErr);
  EXPECT_EQ(host.calls.size(), 1u);
}

TEST_F(HandlerTest, RefusesUnknownCodesAndAnswersTenPulsesASecond) {
  for (OSType code : {fourCharCode("xxxx"), fourCharCode("VACT"), fourCharCode("regv")}) {
    EXPECT_EQ(send(code), kUnimpErr) << code;
  }
  // The record keeps what 'init' gave.
  EXPECT_EQ(data_->hostOptions, 0u);
  EXPECT_EQ(data_->hostCookie, &host_);
  EXPECT_EQ(data_->hostProc, &FakeHost::proc);
  EXPECT_EQ(data_->hostRect, Rect{});
  // 'Vpls' answers ten pulses a second whatever came in.
  for (uint32_t incoming : {0u, 10u, 60u, 4000000000u}) {
    VisualPluginMessageInfo info{};
    info.u.pulseMessage.newPulseRateInHz = incoming;
    EXPECT_EQ(send(kVisualPluginPulseMessage, &info), kNoErr);
    EXPECT_EQ(info.u.pulseMessage.newPulseRateInHz, 10u) << incoming;
  }
  // 'clr ' without a record frees nothing.
  EXPECT_EQ(VisualPluginHandler(kVisualPluginCleanupMessage, nullptr, nullptr), kNoErr);
  EXPECT_TRUE(host_.calls.empty());
}

TEST_F(HandlerTest, ActivationShowsTheLoadingScreenAndDeactivationLeavesTheNullRectangle) {
  ASSERT_EQ(activate(hostView_), kNoErr);
  EXPECT_EQ(data_->hostView, hostView_);
  EXPECT_EQ(data_->hostRect, (Rect{0, 0, 640, 480}));
  EXPECT_EQ(data_->hostOptions, 7u);
  ASSERT_TRUE(data_->visualView);
  EXPECT_EQ(data_->visualView->superview(), hostView_);
  EXPECT_EQ(data_->visualView->frame(), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(pagesIn(*hostView_), Pages{"loading.html"});
  ASSERT_EQ(host_.coverArtRequests(), 1u);
  EXPECT_EQ(versionAndSize(host_.calls.back().info.header), (Numbers{10, 9, 580}));
  // A track change asks again while a view is shown, and marks the view for drawing.
  data_->visualView->setNeedsDisplay(false);
  VisualPluginMessageInfo info{};
  EXPECT_EQ(send(kVisualPluginChangeTrackMessage, &info), kNoErr);
  EXPECT_EQ(host_.coverArtRequests(), 2u);
  EXPECT_TRUE(data_->visualView->needsDisplay());

  std::shared_ptr<OvraVisualView> visual = data_->visualView;
  ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
  EXPECT_TRUE(data_->hostRect.isNull());
  EXPECT_EQ(data_->hostView, nullptr);
  EXPECT_EQ(data_->visualView, nullptr);
  EXPECT_EQ(visual->superview(), nullptr);
  EXPECT_TRUE(hostView_->subviews().empty());
  EXPECT_EQ(currentApp(), nullptr);
  // Moving while inactive gives zero rectangles.
  info.u.windowChangedMessage.options = 3;
  EXPECT_EQ(send(kVisualPluginWindowChangedMessage, &info), kNoErr);
  EXPECT_EQ(data_->hostRect, Rect{});
  EXPECT_EQ(data_->hostOptions, 3u);
}

TEST_F(HandlerTest, ActivationWithoutAViewUsesZeroRectanglesAndAsksForNoCoverArt) {
  ASSERT_EQ(activate(nullptr), kNoErr);
  EXPECT_EQ(data_->hostView, nullptr);
  EXPECT_EQ(data_->hostRect, Rect{});
  ASSERT_TRUE(data_->visualView);
  EXPECT_EQ(data_->visualView->frame(), Rect{});
  EXPECT_TRUE(currentApp());
  VisualPluginMessageInfo info{};
  EXPECT_EQ(send(kVisualPluginPlayMessage, &info), kNoErr);
  EXPECT_EQ(host_.coverArtRequests(), 0u);
}

TEST_F(HandlerTest, SkippingTheLoginEndsOnTheMainPageOnTopOfTheLoadingViews) {
  ASSERT_TRUE(writeBackup());
  platform::LogCapture log;
  ASSERT_EQ(activate(hostView_), kNoErr);
  ASSERT_TRUE(skipLogin());
  ASSERT_TRUE(runUntil([&] { return engine_->webViewShowing("main.html") != nullptr; }));
  EXPECT_EQ(pagesIn(*data_->visualView), (Pages{"loading_afterFacebook.html", "main.html"}));
  auto main = engine_->webViewShowing("main.html");
  EXPECT_EQ(main->frame(), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(main->windowScriptValue("appController"), currentApp());
  EXPECT_TRUE(log.contains("load request " + main->mainFrameURL()));
  // The main page reads the contact row through the bridge.
  EXPECT_EQ(engine_->callScript(*main, "appController", "getContacts")
                .value.value_or("")
                .rfind("[[\"1\",\"Ada\",", 0),
            0u);
}

// A second activation gets a new view and controller; the first controller, still
// reading when it was deactivated, shows nothing when it finishes.
TEST_F(HandlerTest, ReactivationLeavesTheFirstControllersLateWorkInert) {
  ASSERT_TRUE(writeBackup());
  testing::GatedBackup gate(home_.path(), "slow");
  ASSERT_TRUE(gate.ok());
  ASSERT_EQ(activate(hostView_), kNoErr);
  std::shared_ptr<OvraVisualView> firstView = data_->visualView;
  std::shared_ptr<controller::AppController> first = currentApp();
  ASSERT_TRUE(skipLogin());
  ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
  EXPECT_TRUE(first->finished());

  ASSERT_EQ(activate(hostView_), kNoErr);
  EXPECT_NE(data_->visualView, firstView);
  EXPECT_NE(currentApp(), first);
  EXPECT_EQ(hostView_->subviews().size(), 1u);
  EXPECT_EQ(pagesIn(*hostView_), Pages{"loading.html"});

  // Both extractions wait on the gate; the first controller has its login step done.
  gate.open();
  ASSERT_TRUE(runUntil([&] { return first->notifiedReady(); }));
  EXPECT_EQ(pagesIn(*firstView), Pages{"loading_afterFacebook.html"});
  EXPECT_EQ(pagesIn(*hostView_), Pages{"loading.html"});
  EXPECT_EQ(engine_->webViewShowing("main.html"), nullptr);
}

}  // namespace
}  // namespace ovra::plugin
