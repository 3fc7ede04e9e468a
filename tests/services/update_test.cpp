#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "services/http_answer_reader.h"
#include "services/service_ids.h"
#include "services/update_dialog.h"
#include "services/update_request.h"
#include "tests/services/services_fixture.h"
#include "tests/support/scripted_prompt.h"
#include "tools/local_http_server.h"
#include "widgets/link_label.h"
#include "widgets/qt_translations.h"
#include "widgets/ui_text.h"

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
  EXPECT_EQ(dialog.StatusText(), widgets::UiText(c.text));
  EXPECT_EQ(prompt.messages.size(), c.state == CUpdateDialog::kNotChecked ? 1u : 0u);
  for (const auto& message : prompt.messages)
    EXPECT_EQ(message.text, platform::LoadString(services::kStringCannotConnect));
  EXPECT_LT(longestStallMs, kShortTimeoutMs / 2);  // waiting for the network would stall it all along
  ASSERT_EQ(server.requests.size(), c.behaviour == Behaviour::Redirect ? 2 : 1);
  if (c.behaviour == Behaviour::Redirect) { EXPECT_TRUE(server.requests[1].startsWith("GET /moved HTTP/1.1\r\n")); }
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
                                           EndpointCase{"Chunked", Behaviour::Chunked, 200, "FALSE", kNewer, kNewText},
                                           EndpointCase{"Redirect", Behaviour::Redirect, 200, "FALSE", kNewer,
                                                        kNewText},
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
}

// Enter starts the check rather than opening the download page, which Tab reaches after the buttons; Cancel
// abandons the running request.
TEST_F(UpdateDialogTest, EnterPressesOkTheLinkComesByTabAndCancelAbandonsTheRequest) {
  server.behaviour = Behaviour::Silent;
  CUpdateDialog dialog(prompt, nullptr, kShortTimeoutMs);
  int opened = 0;
  dialog.Link()->openUrl = [&](const QString&) { ++opened; };
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(QApplication::focusWidget(), dialog.OkButton());
  QTest::keyClick(&dialog, Qt::Key_Tab);
  QTest::keyClick(&dialog, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dialog.Link());
  QTest::keyClick(&dialog, Qt::Key_Tab);
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.Checking());
  EXPECT_EQ(opened, 0);
  ASSERT_TRUE(RunUntil([&] { return server.requests.size() == 1; }));
  dialog.reject();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(RunUntil([&] { return server.closedByClient == 1; }));
  // The time-out passes without a late message or state change.
  RunUntil([] { return false; }, 2 * kShortTimeoutMs);
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(dialog.State(), CUpdateDialog::kNotChecked);
}

// In Portuguese the dialog's own texts come from the string table and Qt's standard buttons from Qt's
// catalogue (qt6-translations-l10n); English takes Qt's catalogue away again.
TEST_F(UpdateDialogTest, PortugueseReachesTheDialogAndQtsOwnButtons) {
  platform::SetUiLanguage(platform::kLanguagePortuguese);
  {
    CUpdateDialog dialog(prompt, nullptr, kShortTimeoutMs);
    EXPECT_EQ(dialog.windowTitle(), "Verificar Atualizações");
    QStringList buttons;
    for (auto* button : dialog.findChildren<QPushButton*>()) buttons << button->text();
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({"Cancelar", "OK"}));
  }
  auto standardTexts = [] {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    return box.button(QMessageBox::Yes)->text() + "|" + box.button(QMessageBox::No)->text() + "|" +
           box.button(QMessageBox::Cancel)->text();
  };
  ASSERT_TRUE(widgets::InstallQtTranslations(platform::kLanguagePortuguese));
  EXPECT_EQ(standardTexts(), "&Sim|&Não|Cancelar");
  EXPECT_TRUE(widgets::InstallQtTranslations(platform::kLanguageEnglish));
  EXPECT_EQ(standardTexts(), "&Yes|&No|Cancel");
  platform::SetUiLanguage(platform::kLanguageEnglish);
}

// A server that sends one header line without end is left once the head passes the answer's limit, long
// before the time limit: the connection is closed and nothing goes on reading it. (Cancel aborts any
// request the same way: the Enter test above.)
TEST_F(UpdateDialogTest, AnEndlessHeaderLineEndsAtTheSizeLimit) {
  server.behaviour = Behaviour::EndlessHead;
  services::UpdateRequest request;
  std::vector<int> results;
  QObject::connect(&request, &services::UpdateRequest::Finished,
                   [&](int result, const QByteArray&) { results.push_back(result); });
  QElapsedTimer clock;
  clock.start();
  request.Start(QUrl(server.Base() + "/cgi-bin/update.cgi"), "this=1.0", 10000);
  ASSERT_TRUE(RunUntil([&] { return !results.empty(); }, 8000));
  EXPECT_EQ(results, std::vector<int>{services::UpdateRequest::kConnectionFailed});
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_TRUE(RunUntil([&] { return server.closedByClient == 1; }, 2000));
  // The server has stopped sending: nothing reads the connection any more.
  const qint64 sent = server.bytesSent;
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(server.bytesSent, sent);
}

using Progress = services::HttpAnswerReader::Progress;

struct ReaderCase {
  const char* name;
  QByteArray answer;
  bool closed;  // the server closes the connection after it
  Progress progress;
  int status;
  QByteArray body;
};

class AnswerReader : public ::testing::TestWithParam<ReaderCase> {};

// Each answer read whole and a byte at a time gives the same outcome; limit 64 bytes.
TEST_P(AnswerReader, ReadsTheAnswerWithinTheLimit) {
  const ReaderCase& c = GetParam();
  for (const qsizetype piece : {c.answer.size(), qsizetype{1}}) {
    services::HttpAnswerReader reader(64);
    Progress progress = Progress::NeedMore;
    for (qsizetype at = 0; at < c.answer.size() && progress == Progress::NeedMore; at += piece)
      progress = reader.Feed(QByteArrayView(c.answer).sliced(at, std::min(piece, c.answer.size() - at)));
    if (c.closed) progress = reader.End();
    EXPECT_EQ(progress, c.progress) << "piece " << piece;
    if (c.progress != Progress::Complete) continue;
    EXPECT_EQ(reader.Status(), c.status);
    EXPECT_EQ(reader.Body(), c.body);
  }
}

const QByteArray kLongLine = "HTTP/1.1 200 OK\r\nX: " + QByteArray(100, 'x');

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerReader,
    ::testing::Values(
        ReaderCase{"Length", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", false, Progress::Complete, 200,
                   "abc"},
        ReaderCase{"LineFeedsOnly", "HTTP/1.0 404 No\nContent-length: 1\n\nz", false, Progress::Complete, 404, "z"},
        ReaderCase{"UntilClosed", "HTTP/1.1 200 OK\r\n\r\nabc", true, Progress::Complete, 200, "abc"},
        ReaderCase{"CutShort", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", true, Progress::Broken, 0, ""},
        ReaderCase{"BodyAtLimit", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(100, 'b'), false, Progress::Complete, 200,
                   QByteArray(64, 'b')},
        ReaderCase{"Chunks",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2;q\r\nab\r\nA\r\n0123456789\r\n0\r\n\r\n",
                   false, Progress::Complete, 200, "ab0123456789"},
        ReaderCase{"DamagedChunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n", false,
                   Progress::Broken, 0, ""},
        ReaderCase{"InterimFirst", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
                   Progress::Complete, 200, "ok"},
        ReaderCase{"EndlessHeaderLine", kLongLine, false, Progress::Broken, 0, ""},
        ReaderCase{"NotHttp", "SSH-2.0-OpenSSH\r\n", false, Progress::NoStatus, 0, ""},
        ReaderCase{"ClosedSilently", "", true, Progress::Broken, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
