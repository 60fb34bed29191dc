#include "plugin/visual_plugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/headless_engine.h"
#include "platform/home.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "plugin/visual_view.h"
#include "test_home.h"

namespace ovra::plugin {
namespace {

using platform::Rect;

OSType codeOf(const char* text) {
  char code[5] = {};
  std::memcpy(code, text, 4);
  return fourCharCode(code);
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
  size_t count(OSType message) const {
    size_t n = 0;
    for (const Call& c : calls) n += c.message == message;
    return n;
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
  bool runUntil(const std::function<bool()>& done) {
    return testing::runFinishingLoads(*engine_, done);
  }
  // The bundle pages loaded into web views under `root`, back to front.
  static std::vector<std::string> pagesIn(const platform::View& root) {
    std::vector<std::string> names;
    for (const auto& view : platform::HeadlessEngine::webViewsIn(root)) {
      if (view->mainFrameURL().starts_with("file:")) {
        names.push_back(platform::lastPathComponentOfURL(view->mainFrameURL()));
      }
    }
    return names;
  }

  testing::TempHome home_;
  std::shared_ptr<platform::HeadlessEngine> engine_ =
      std::make_shared<platform::HeadlessEngine>();
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
  EXPECT_EQ(call.info.header.messageMajorVersion, 10u);
  EXPECT_EQ(call.info.header.messageMinorVersion, 7u);
  EXPECT_EQ(call.info.header.messageInfoSize, 580u);

  const PlayerRegisterVisualPluginMessage& reg = call.info.u.registerVisualPluginMessage;
  EXPECT_EQ(reg.name[0], 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(reg.name + 1), 4), u"Ovra");
  EXPECT_EQ(reg.options, 46u);
  EXPECT_EQ(reg.creator, fourCharCode("hook"));
  uint32_t version = 0;
  std::memcpy(&version, &reg.pluginVersion, 4);
  EXPECT_EQ(version, 0x02002000u);
  // Pointers in the packed record are read by value, never bound to references.
  const VisualPluginProcPtr handler = reg.handler;
  const void* refCon = reg.registerRefCon;
  EXPECT_EQ(handler, &VisualPluginHandler);
  EXPECT_EQ(refCon, nullptr);
  EXPECT_EQ(reg.timeBetweenDataInMS, 10u);
  EXPECT_EQ(reg.numWaveformChannels, 2u);
  EXPECT_EQ(reg.numSpectrumChannels, 2u);
  EXPECT_EQ(reg.minWidth, 64u);
  EXPECT_EQ(reg.minHeight, 64u);
  EXPECT_EQ(reg.maxWidth, 0u);
  EXPECT_EQ(reg.maxHeight, 0u);
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

TEST(PluginEntry, SetNumVersionPutsTheMajorNumberInTheHighestByte) {
  NumVersion v{};
  SetNumVersion(&v, 1, 2, 3, 4);
  uint32_t value = 0;
  std::memcpy(&value, &v, 4);
  EXPECT_EQ(value, 0x01020304u);
}

TEST_F(HandlerTest, EveryCodeAnswersItsStatus) {
  struct Case {
    const char* code;
    OSStatus status;
  };
  for (const Case& k : {Case{"cnfg", 0}, Case{"Vmov", 0}, Case{"Vfrm", 0}, Case{"Vdrw", 0},
                        Case{"Vpls", 0}, Case{"Vply", 0}, Case{"Ctrk", 0}, Case{"vstp", 0},
                        Case{"Vart", 0}, Case{"null", 0}, Case{"setp", 0}, Case{"voff", 0},
                        Case{"von ", 0}, Case{"Vdct", 0}, Case{"xxxx", -4}, Case{"VACT", -4},
                        Case{"regv", -4}}) {
    VisualPluginMessageInfo info{};
    EXPECT_EQ(send(codeOf(k.code), &info), k.status) << k.code;
  }
  // An unknown code changes nothing in the record.
  const VisualPluginData before = *data_;
  EXPECT_EQ(send(fourCharCode("what"), nullptr), kUnimpErr);
  EXPECT_EQ(data_->hostCookie, before.hostCookie);
  EXPECT_EQ(data_->hostOptions, before.hostOptions);
  EXPECT_TRUE(data_->hostRect.isNull());
  // The instance kept what 'init' gave.
  EXPECT_EQ(data_->hostCookie, &host_);
  EXPECT_EQ(data_->hostProc, &FakeHost::proc);
  // 'clr ' without a record frees nothing.
  EXPECT_EQ(VisualPluginHandler(kVisualPluginCleanupMessage, nullptr, nullptr), kNoErr);
  EXPECT_TRUE(host_.calls.empty());
}

TEST_F(HandlerTest, PulseAnswersTenWhateverCameIn) {
  for (uint32_t incoming : {0u, 10u, 60u, 4000000000u}) {
    VisualPluginMessageInfo info{};
    info.u.pulseMessage.newPulseRateInHz = incoming;
    EXPECT_EQ(send(kVisualPluginPulseMessage, &info), kNoErr);
    EXPECT_EQ(info.u.pulseMessage.newPulseRateInHz, 10u) << incoming;
  }
}

TEST_F(HandlerTest, ActivationWithAViewShowsTheLoadingScreenAndAsksForCoverArt) {
  ASSERT_EQ(activate(hostView_), kNoErr);
  EXPECT_EQ(data_->hostView, hostView_);
  EXPECT_EQ(data_->hostRect, (Rect{0, 0, 640, 480}));
  EXPECT_EQ(data_->hostOptions, 7u);
  ASSERT_TRUE(data_->visualView);
  EXPECT_EQ(data_->visualView->superview(), hostView_);
  EXPECT_EQ(data_->visualView->frame(), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(data_->visualView->visualPluginData(), data_);
  EXPECT_EQ(pagesIn(*hostView_), std::vector<std::string>{"loading.html"});
  ASSERT_EQ(host_.count(kPlayerRequestCurrentTrackCoverArtMessage), 1u);
  const PlayerMessageHeader& header = host_.calls.back().info.header;
  EXPECT_EQ(header.messageMajorVersion, 10u);
  EXPECT_EQ(header.messageMinorVersion, 9u);
  EXPECT_EQ(header.messageInfoSize, 580u);
  // A track change asks again while a view is shown, and marks the view for drawing.
  data_->visualView->setNeedsDisplay(false);
  VisualPluginMessageInfo info{};
  EXPECT_EQ(send(kVisualPluginChangeTrackMessage, &info), kNoErr);
  EXPECT_EQ(host_.count(kPlayerRequestCurrentTrackCoverArtMessage), 2u);
  EXPECT_TRUE(data_->visualView->needsDisplay());
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
  EXPECT_EQ(host_.count(kPlayerRequestCurrentTrackCoverArtMessage), 0u);
}

TEST_F(HandlerTest, DeactivationLeavesTheNullRectangleAndNoViews) {
  ASSERT_EQ(activate(hostView_), kNoErr);
  std::shared_ptr<OvraVisualView> visual = data_->visualView;
  ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
  EXPECT_TRUE(data_->hostRect.isNull());
  EXPECT_EQ(data_->hostView, nullptr);
  EXPECT_EQ(data_->visualView, nullptr);
  EXPECT_EQ(visual->superview(), nullptr);
  EXPECT_TRUE(hostView_->subviews().empty());
  EXPECT_EQ(currentApp(), nullptr);
  // Moving and resizing while inactive give zero rectangles.
  VisualPluginMessageInfo info{};
  info.u.windowChangedMessage.options = 3;
  EXPECT_EQ(send(kVisualPluginWindowChangedMessage, &info), kNoErr);
  EXPECT_EQ(data_->hostRect, Rect{});
  EXPECT_EQ(data_->hostOptions, 3u);
}

TEST_F(HandlerTest, SkippingTheLoginEndsOnTheMainPageOnTopOfTheLoadingViews) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", {{"Ada", "L", "0612345678", 6}}), "");
  platform::LogCapture log;
  ASSERT_EQ(activate(hostView_), kNoErr);
  auto loading = engine_->webViewShowing("loading.html");
  ASSERT_TRUE(loading);
  ASSERT_TRUE(engine_->callScript(*loading, "appController", "ignoreFacebook").ok());
  ASSERT_TRUE(runUntil([&] { return engine_->webViewShowing("main.html") != nullptr; }));
  EXPECT_EQ(pagesIn(*data_->visualView),
            (std::vector<std::string>{"loading_afterFacebook.html", "main.html"}));
  auto main = engine_->webViewShowing("main.html");
  EXPECT_EQ(main->frame(), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(main->windowScriptValue("appController"), currentApp());
  EXPECT_EQ(main->frameLoadDelegate(), currentApp());
  EXPECT_EQ(main->policyDelegate(), nullptr);
  EXPECT_TRUE(log.contains("load request " + main->mainFrameURL()));
  // The main page reads the contact row through the bridge.
  auto contacts = engine_->callScript(*main, "appController", "getContacts");
  ASSERT_TRUE(contacts.value);
  EXPECT_EQ(contacts.value->rfind("[[\"1\",\"Ada\",", 0), 0u);
}

// A second activation gets a new view and controller; the first controller, still
// reading when it was deactivated, shows nothing when it finishes.
TEST_F(HandlerTest, ReactivationLeavesTheFirstControllersLateWorkInert) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", {{"Ada", "L", "0612345678", 6}}), "");
  auto gate = std::make_unique<testing::GatedBackup>(home_.path(), "slow");
  ASSERT_TRUE(gate->ok());
  ASSERT_EQ(activate(hostView_), kNoErr);
  std::shared_ptr<OvraVisualView> firstView = data_->visualView;
  std::shared_ptr<controller::AppController> first = currentApp();
  auto firstLoading = engine_->webViewShowing("loading.html");
  ASSERT_TRUE(engine_->callScript(*firstLoading, "appController", "ignoreFacebook").ok());
  ASSERT_EQ(send(kVisualPluginDeactivateMessage), kNoErr);
  EXPECT_TRUE(first->finished());

  ASSERT_EQ(activate(hostView_), kNoErr);
  EXPECT_NE(data_->visualView, firstView);
  EXPECT_NE(currentApp(), first);
  EXPECT_EQ(hostView_->subviews().size(), 1u);
  EXPECT_EQ(pagesIn(*hostView_), std::vector<std::string>{"loading.html"});

  // Both extractions wait on the gate; the first controller has its login step done.
  gate->open();
  ASSERT_TRUE(runUntil([&] { return first->notifiedReady(); }));
  EXPECT_EQ(pagesIn(*firstView), std::vector<std::string>{"loading_afterFacebook.html"});
  EXPECT_EQ(pagesIn(*hostView_), std::vector<std::string>{"loading.html"});
  EXPECT_EQ(engine_->webViewShowing("main.html"), nullptr);
  gate.reset();
}

TEST(OvraVisualView, HandsKeysOnUnchanged) {
  struct RecordingView : platform::View {
    RecordingView() : View(Rect{}) {}
    void keyDown(const platform::KeyEvent& event) override { keys.push_back(event.characters); }
    std::vector<std::string> keys;
  };
  auto host = std::make_shared<RecordingView>();
  auto visual = OvraVisualView::create(Rect{0, 0, 10, 10});
  host->addSubview(visual);
  EXPECT_TRUE(visual->acceptsFirstResponder());
  visual->keyDown(platform::KeyEvent{"q", 12});
  EXPECT_EQ(host->keys, std::vector<std::string>{"q"});
}

}  // namespace
}  // namespace ovra::plugin
