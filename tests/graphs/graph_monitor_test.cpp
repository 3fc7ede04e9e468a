// The monitor graph's meters from a scripted source, and on a real engine: a tick never waits, draws
// zeros until the processing thread has answered, and shows the answer on the next tick.
#include "graphs/graph_monitor.h"

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "graphs/engine_monitor.h"
#include "tests/engine/engine_fixture.h"
#include "tests/graphs/graph_test_support.h"
#include "tests/qt_support/silent_monitor.h"

using namespace graphs;
using namespace graphs_test;

namespace {
constexpr QRgb kYellow = qRgb(250, 250, 0), kGreen = qRgb(0, 255, 0), kDarkRed = qRgb(180, 0, 0);
constexpr QRgb kOrange = qRgb(255, 128, 64), kUnlit = qRgb(158, 186, 199), kMarker = qRgb(255, 128, 128);
using enum engine::MonitorSide;

// The plot is (24, 20)-(312, 214), 194 rows: the segment r rows below its top stands for
// (1 - r / 190) * 120 dB and covers rows 20 + r .. 22 + r. Rows below sample a segment's middle.
constexpr int kRow0 = 211, kRow2_5 = 207, kRow7_6 = 199, kRow81 = 83, kRow91 = 67, kRow93_5 = 63, kRow98_5 = 55;
// Bar centres of the 25 Hz, 63 Hz, 160 Hz and 1 kHz bands; the Sat bar's segments span 329..344.
constexpr int kBar25 = 41, kBar63 = 77, kBar160 = 113, kBar1k = 185, kSat = 336;

// Answers every request at once with `reading`; the limits are 94 (left) and 100 (right).
struct ScriptedSource : testing_support::SilentMonitor {
  bool TakeReply(MonitorReading& out) override { return out = reading, true; }
  std::array<int, 2> LimiterLevels() override { return {94, 100}; }
  MonitorReading reading;
};

QImage TickAndRender(GraphMonitor& graph) {
  graph.Tick();
  return Render(graph);
}

// The graph on `side` after one tick of `source`.
QImage Shown(ScriptedSource& source, engine::MonitorSide side) {
  GraphMonitor graph(nullptr, source);
  graph.resize(kMonitorWidth, kGraphHeight);
  graph.SetSide(side);
  return TickAndRender(graph);
}
}  // namespace

TEST(MonitorGraph, BandSegmentsAreYellowBelowTwentyGreenUpToNinetySixDarkRedAbove) {
  ScriptedSource source;
  source.reading.bands = {10.0, 50.0, 100.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  const QImage image = Shown(source, kRight);
  EXPECT_TRUE(PixelIs(image, kBar25, kRow7_6, kYellow));
  EXPECT_TRUE(PixelIs(image, kBar25, kRow91, kUnlit));
  EXPECT_TRUE(PixelIs(image, kBar63, kRow81, kUnlit));
  EXPECT_TRUE(PixelIs(image, kBar160, kRow81, kGreen));
  EXPECT_TRUE(PixelIs(image, kBar160, kRow98_5, kDarkRed));
}

// A total of 110 dB against the limits 94 (left) and 100 (right); the marker shows the limit.
TEST(MonitorGraph, SatBarTurnsOrangeFromTwoDecibelsBelowTheShownLimitUpToNinetySix) {
  const struct {
    const char* fault;
    engine::MonitorSide side;
    int markerRow;  // marker: 94 dB at row 20 + trunc(194 * 26 / 120) = 62; 100 dB at row 52
    QRgb at93_5;
  } cases[] = {{"left limit 94: orange from 92 dB", kLeft, 62, kOrange},
               {"right limit 100: no orange below 96 dB", kRight, 52, kGreen},
               {"both sides: the larger limit, 100", kBoth, 52, kGreen}};
  for (const auto& c : cases) {
    ScriptedSource source;
    source.reading.total = 110.0;
    const QImage image = Shown(source, c.side);
    EXPECT_TRUE(PixelIs(image, kSat, kRow91, kGreen)) << c.fault;
    EXPECT_TRUE(PixelIs(image, kSat, kRow93_5, c.at93_5)) << c.fault;
    EXPECT_TRUE(PixelIs(image, kSat, kRow98_5, kDarkRed)) << c.fault;
    EXPECT_TRUE(PixelIs(image, 60, c.markerRow, kMarker)) << c.fault;   // across the plot
    EXPECT_TRUE(PixelIs(image, 325, c.markerRow, kMarker)) << c.fault;  // and the Sat bar
  }
}

// A real engine on the scripted driver and the test output, with its capture and processing threads.
class MonitorOnEngine : public ::testing::Test, public engine_tests::EngineParts {
 protected:
  MonitorOnEngine() : EngineParts(0, false) {}
  void SetUp() override {
    dsp.Start();
    driver.PushFormat(2, 16, 44100, kBlockBytes);
    ASSERT_TRUE(WaitFor([&] { return dsp.DriverLink().State() == engine::kCaptureFormatted; }));
  }
  void TearDown() override { dsp.Stop(); }

  // A full-scale 1 kHz tone, both channels.
  void PlayTone() {
    std::vector<int16_t> samples(kBlockBytes / 2);
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<int16_t>(32767 * std::sin(2 * 3.141592653589793 * 1000.0 * double(i / 2) / 44100));
    driver.PushData(engine_tests::Pcm16(samples));
  }
  static bool WaitFor(const std::function<bool()>& done) {  // for up to about 10 s
    for (int i = 0; i < 10000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
  }

  static constexpr uint32_t kBlockBytes = 16000;  // 4000 stereo frames
};

TEST_F(MonitorOnEngine, TicksDrawZerosUntilTheProcessingThreadAnswersThenItsReplyOnce) {
  for (int channel = 0; channel < 2; ++channel) parameters->SetLimiterChannel(94, channel, 0.001, 0.5);
  CEngineMonitor source(dsp, *parameters);
  GraphMonitor graph(nullptr, source);
  graph.resize(kMonitorWidth, kGraphHeight);
  graph.SetSide(kLeft);

  QImage image = TickAndRender(graph);  // no sound yet: zeros, so only the bottom segments are lit
  for (int x : {kBar25, kBar1k}) {
    EXPECT_TRUE(PixelIs(image, x, kRow0, kYellow));
    EXPECT_TRUE(PixelIs(image, x, kRow2_5, kUnlit));
  }
  EXPECT_TRUE(PixelIs(image, kSat, kRow0, kGreen));
  EXPECT_TRUE(PixelIs(image, kSat, kRow2_5, kUnlit));
  const QRect caption(64, 5, 248, 14);
  EXPECT_EQ(Count(image, caption, qRgb(0, 0, 0)), 0);

  PlayTone();
  ASSERT_TRUE(WaitFor([&] { return parameters->monitor.reply.IsSet(); }));
  image = TickAndRender(graph);  // the 1 kHz band near 93 dB, the 25 Hz band far below 81 dB
  EXPECT_TRUE(PixelIs(image, kBar1k, kRow81, kGreen));
  EXPECT_TRUE(PixelIs(image, kBar1k, kRow98_5, kUnlit));
  EXPECT_TRUE(PixelIs(image, kBar25, kRow81, kUnlit));
  EXPECT_TRUE(PixelIs(image, kSat, kRow93_5, kOrange));  // the peak, limited to 94 dB
  EXPECT_GT(Count(image, caption, qRgb(0, 0, 0)), 20);   // "44100 Hz; 16 Bits; 2 Channels"

  image = TickAndRender(graph);  // nothing played since the last request
  EXPECT_TRUE(PixelIs(image, kBar1k, kRow81, kUnlit));
}
