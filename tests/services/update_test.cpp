#include <QPushButton>

#include "app/link_label.h"
#include "app/ui_text.h"
#include "services/service_ids.h"
#include "services/update_dialog.h"
#include "tests/services/local_http_server.h"
#include "tests/services/services_fixture.h"
#include "tests/support/scripted_prompt.h"

namespace {

using Behaviour = LocalHttpServer::Behaviour;
using services::CUpdateDialog;

constexpr int kShortTimeoutMs = 400;

class UpdateDialogTest : public ServicesFixture {
 protected:
  void SetUp() override {
    ServicesFixture::SetUp();
    // The check must reach the local server directly, whatever proxy the machine's environment names.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
      ::unsetenv(name);
    ASSERT_TRUE(server.isListening());
    SetValue(platform::HKEY_LOCAL_MACHINE, "update_server", server.Base().toStdString());
  }

  // Presses OK and waits until the request has ended.
  void CheckOnce(CUpdateDialog& dialog) {
    dialog.OkButton()->click();
    ASSERT_TRUE(dialog.Checking());
    ASSERT_TRUE(RunUntil([&] { return !dialog.Checking(); }));
  }

  LocalHttpServer server;
  testing_support::ScriptedPrompt prompt;
};

struct EndpointCase {
  const char* name;
  Behaviour behaviour;
  int status;
  QByteArray answer;
  int state;  // kNotChecked: the check failed, message 61452 shown
  int text;   // the dialog's text afterwards
};

class UpdateAnswers : public UpdateDialogTest, public ::testing::WithParamInterface<EndpointCase> {};

// Each endpoint behaviour against the state, the text and the message it must give, with the window's
// event loop never held up while the request runs.
TEST_P(UpdateAnswers, GiveTheirStateAndText) {
  const EndpointCase& c = GetParam();
  server.behaviour = c.behaviour;
  server.status = c.status;
  server.answer = c.answer;
  CUpdateDialog dialog(prompt, nullptr, kShortTimeoutMs);
  dialog.show();
  CheckOnce(dialog);
  EXPECT_EQ(dialog.State(), c.state);
  EXPECT_EQ(dialog.StatusText(), app::UiText(c.text));
  EXPECT_EQ(prompt.messages.size(), c.state == CUpdateDialog::kNotChecked ? 1u : 0u);
  for (const auto& message : prompt.messages)
    EXPECT_EQ(message.text, platform::LoadString(services::kStringCannotConnect));
  EXPECT_LT(longestStallMs, kShortTimeoutMs / 2);  // waiting for the network would stall it all along
  ASSERT_EQ(server.requests.size(), 1);
  const QByteArray request = server.requests[0];
  EXPECT_TRUE(request.startsWith("POST /cgi-bin/update.cgi HTTP/1.1\r\n")) << request.toStdString();
  EXPECT_TRUE(request.toLower().contains("\r\ncontent-type: application/x-www-form-urlencoded\r\n"));
  EXPECT_TRUE(request.endsWith("\r\n\r\nthis=1.0"));
}

constexpr int kNewer = CUpdateDialog::kNewer, kCurrent = CUpdateDialog::kCurrent, kFailed = CUpdateDialog::kNotChecked;
constexpr int kNewText = services::kStringNewVersion, kCurrentText = services::kStringVersionCurrent;
constexpr int kWaitText = services::kStringUpdateWait;  // a failure leaves the text as it was

INSTANTIATE_TEST_SUITE_P(Endpoint, UpdateAnswers,
                         ::testing::Values(EndpointCase{"Upper", Behaviour::Answer, 200, "FALSE", kNewer, kNewText},
                                           EndpointCase{"Lower", Behaviour::Answer, 200, "false\n", kNewer, kNewText},
                                           EndpointCase{"True", Behaviour::Answer, 200, "TRUE", kCurrent, kCurrentText},
                                           EndpointCase{"Fals", Behaviour::Answer, 200, "FALS", kCurrent, kCurrentText},
                                           EndpointCase{"Http404", Behaviour::Answer, 404, "FALSE", kFailed, kWaitText},
                                           EndpointCase{"Endless", Behaviour::Endless, 200, "FaLsE ", kNewer, kNewText},
                                           EndpointCase{"Silent", Behaviour::Silent, 200, "", kFailed, kWaitText}),
                         [](const auto& info) { return std::string(info.param.name); });

// After a failure OK asks again; after an answer OK closes without asking; a second OK during a request
// is ignored. (The server setting here names host and port without a scheme.)
TEST_F(UpdateDialogTest, OkRetriesAfterAFailureAndClosesAfterAnAnswer) {
  SetValue(platform::HKEY_LOCAL_MACHINE, "update_server", server.Base().mid(7).toStdString() + "/");
  server.status = 404;
  CUpdateDialog dialog(prompt, nullptr, kShortTimeoutMs);
  EXPECT_EQ(dialog.Link()->Url(), server.Base() + "/Tonvex/download.html");
  dialog.show();
  CheckOnce(dialog);
  ASSERT_EQ(dialog.State(), CUpdateDialog::kNotChecked);
  server.status = 200;
  server.answer = "FALSE";
  dialog.OkButton()->click();
  dialog.OkButton()->click();
  ASSERT_TRUE(RunUntil([&] { return !dialog.Checking(); }));
  EXPECT_EQ(dialog.State(), CUpdateDialog::kNewer);
  EXPECT_EQ(server.requests.size(), 2);
  dialog.OkButton()->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(server.requests.size(), 2);
}

TEST_F(UpdateDialogTest, CancelAbandonsARunningRequest) {
  server.behaviour = Behaviour::Silent;
  CUpdateDialog dialog(prompt, nullptr, kShortTimeoutMs);
  dialog.show();
  dialog.OkButton()->click();
  ASSERT_TRUE(RunUntil([&] { return server.requests.size() == 1; }));
  dialog.reject();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(RunUntil([&] { return server.closedByClient == 1; }));
  // The time-out passes without a late message or state change.
  RunUntil([] { return false; }, 2 * kShortTimeoutMs);
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(dialog.State(), CUpdateDialog::kNotChecked);
}

}  // namespace
