#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio/output_device_rule.h"
#include "audio/pulse_driver.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_filter;
struct pw_proxy;
struct spa_io_position;
struct spa_source;
struct spa_dict;

namespace audio {

inline constexpr int kGraphChannels = 2;
// The largest cycle the graph runs (its quantum limit).
inline constexpr uint32_t kGraphMaxFrames = 8192;

// One cycle of the graph as the engine sees it, on the data thread while the cycle reader runs: the sound that
// entered the virtual sink in this cycle, and the buffers that leave for the output sink in this same cycle.
struct GraphCycle {
  const float* input[kGraphChannels] = {};
  float* output[kGraphChannels] = {};
  uint32_t frames = 0;
  uint32_t rate = 0;
  uint32_t read = 0;       // frames handed to the engine so far
  uint32_t written = 0;    // frames the engine wrote back so far
  bool restarted = false;  // the first cycle after a pause of the graph (or ever)
};

// The live path inside PipeWire's graph. The virtual sink "Tonvex (Brevalto)" is a null-audio-sink made by the
// server's adapter (so it runs in the server, with a monitor, and costs this process nothing); one filter node of
// this process reads the sink's monitor ports and writes to the output sink's playback ports, linked by this
// object. Every link is passive: the graph runs while a program plays into the sink and idles when none does. In
// each cycle the monitor's sound of that cycle reaches the filter after the sink has run, and what the filter
// writes is played by the output sink in the same cycle: no quantum is added. The filter wakes this process
// once per cycle. The sink, the filter and the links are owned by this process's connection and go with it. When
// the server goes away everything is made again once it is back. Its own thread runs the main loop; the filter
// is processed on PipeWire's real-time data thread.
class PipeWireLivePath {
 public:
  PipeWireLivePath();
  ~PipeWireLivePath();
  PipeWireLivePath(const PipeWireLivePath&) = delete;
  PipeWireLivePath& operator=(const PipeWireLivePath&) = delete;

  // True when a PipeWire server answers on this session's socket (it is not left connected).
  static bool ServerAnswers();

  // Connects, makes the sink (at `format`, at most two channels) and the filter, and waits up to timeoutMs for
  // both to be in the graph. False when no server answers; the path keeps trying to come up in the background.
  bool Start(VirtualSinkFormat format, int timeoutMs);
  // Removes the sink, the filter and the links, and disconnects.
  void Stop();

  // The output rule's inputs: the remembered device (by description) and the sink that was the default at start.
  void SetOutput(const std::string& description);
  // The description of the sink the filter plays on now; empty while there is none.
  std::string PlayingDevice();
  void SetStartDefault(const std::string& sinkName);
  int Channels() const { return channels_; }

  // The engine's reader, called on the data thread once per cycle while Cycle() is valid. Null ends it: once the
  // call returns, the reader is not called again.
  void SetCycleReader(std::function<void()> reader);
  // Data thread, inside the reader only (and for tests, to set the buffers RunCycle works on).
  GraphCycle& Cycle() { return cycle_; }
  // One cycle over the buffers in Cycle(): calls the reader and silences what it left unwritten. The data thread
  // runs it for every cycle of the graph (`nsec`: the cycle's start on the monotonic clock); tests call it.
  void RunCycle(uint32_t frames, uint32_t rate, uint64_t nsec);

  // Graph cycles processed, for tests.
  uint64_t Cycles() const { return cycles_.load(std::memory_order_relaxed); }

 private:
  struct Node {
    std::string name, description, mediaClass;
    uint64_t serial = 0;
  };
  struct Port {
    uint32_t node = 0;
    bool output = false;
    bool monitor = false;
    std::string channel, name;
  };
  struct LinkKey {
    uint32_t from, to;
    bool operator<(const LinkKey& other) const { return from != other.from ? from < other.from : to < other.to; }
  };

  // Main-loop thread (the loop lock held).
  void Connect();
  void Disconnect();
  void ScheduleReconnect();
  void OnCoreError(uint32_t id, int res);
  void OnGlobal(uint32_t id, const char* type, const spa_dict* props);
  void OnGlobalRemoved(uint32_t id);
  void MakeSink();
  void MakeFilter();
  void Relink();
  uint32_t ChooseTarget();
  uint32_t FindPort(uint32_t node, bool output, bool monitor, const std::string& channel) const;
  uint32_t FindOwnPort(const std::string& name) const;
  // Data thread.
  void OnProcess(spa_io_position* position);

  static void OnReconnectTimer(void* self, uint64_t expirations);
  static void OnRelinkEvent(void* self, uint64_t count);
  static void OnRetryTimer(void* self, uint64_t expirations);

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_registry* registry_ = nullptr;
  pw_proxy* sink_ = nullptr;
  pw_filter* filter_ = nullptr;
  spa_source* reconnectTimer_ = nullptr;
  spa_source* relinkEvent_ = nullptr;
  struct Hooks;
  Hooks* hooks_ = nullptr;  // the listener records the library keeps pointers to

  VirtualSinkFormat format_;
  int channels_ = kGraphChannels;
  const char* positions_[kGraphChannels] = {"FL", "FR"};
  void* inPorts_[kGraphChannels] = {};
  void* outPorts_[kGraphChannels] = {};
  bool running_ = false;
  uint32_t sinkId_ = 0xFFFFFFFF;  // the sink's global, once bound
  uint32_t filterId_ = 0xFFFFFFFF;
  std::map<uint32_t, Node> nodes_;
  std::map<uint32_t, Port> ports_;
  // A link this process made; one the server refused is made again at the next relink (a change in the graph,
  // or the retry timer).
  struct LinkHook;  // its listener record
  struct Link {
    pw_proxy* proxy = nullptr;
    LinkHook* hook = nullptr;
    bool failed = false;
  };
  void DestroyLink(Link& link);
  void OnLinkError(pw_proxy* proxy);
  std::map<LinkKey, Link> links_;
  spa_source* retryTimer_ = nullptr;
  std::string announced_;  // the output sink last reported on stderr
  std::atomic<bool> sinkReady_{false};
  std::atomic<bool> filterReady_{false};

  std::mutex outputMutex_;  // the rule's inputs and its answer, for any thread
  std::string outputDescription_;
  std::string playingDescription_;  // the description of outputSink_
  std::string startDefault_;
  std::string outputSink_;

  // Data thread.
  GraphCycle cycle_;
  uint64_t lastCycleNsec_ = 0;
  uint32_t lastFrames_ = 0;
  std::function<void()> reader_;
  std::atomic<bool> readerOn_{false};
  std::atomic<bool> inReader_{false};
  std::atomic<uint64_t> cycles_{0};
};

}  // namespace audio
