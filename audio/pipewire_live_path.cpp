#include "audio/pipewire_live_path.h"

#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/utils/result.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/driver_protocol.h"
#include "platform/debug_output.h"

namespace audio {
namespace {

constexpr const char* kSinkNodeName = "tonvex_brevalto";
constexpr const char* kFilterNodeName = "tonvex_filter";
constexpr int kReconnectMs = 250;
constexpr int kLinkRetryMs = 1000;
// A cycle that starts this long after the previous one ended follows a pause of the graph: the engine hears it
// as a new stream (a stop, then a format report), as it hears a new stream on the other server.
constexpr uint64_t kPauseNs = 100'000'000;

// Silence for an input port that is not linked.
const float kSilence[kGraphMaxFrames] = {};

const char* Get(const spa_dict* props, const char* key) {
  const char* value = props ? spa_dict_lookup(props, key) : nullptr;
  return value ? value : "";
}

void OnceInit() {
  static const bool done = [] {
    pw_init(nullptr, nullptr);
    return true;
  }();
  (void)done;
}

class LoopGuard {
 public:
  explicit LoopGuard(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
  ~LoopGuard() { pw_thread_loop_unlock(loop_); }

 private:
  pw_thread_loop* loop_;
};

}  // namespace

// The listener records the library keeps pointers to, with the tables of callbacks they point at.
struct PipeWireLivePath::Hooks {
  spa_hook core{}, registry{}, sink{}, filter{};
  pw_core_events coreEvents{};
  pw_registry_events registryEvents{};
  pw_proxy_events sinkEvents{};
  pw_filter_events filterEvents{};
  pw_proxy_events linkEvents{};
};

// What a link's error callback needs: the path, and which link it is.
struct PipeWireLivePath::LinkHook {
  spa_hook hook{};
  PipeWireLivePath* path = nullptr;
  pw_proxy* proxy = nullptr;
};

PipeWireLivePath::PipeWireLivePath() : hooks_(new Hooks) {
  OnceInit();
  hooks_->coreEvents.version = PW_VERSION_CORE_EVENTS;
  hooks_->coreEvents.error = [](void* self, uint32_t id, int, int res, const char*) {
    static_cast<PipeWireLivePath*>(self)->OnCoreError(id, res);
  };
  hooks_->registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
  hooks_->registryEvents.global = [](void* self, uint32_t id, uint32_t, const char* type, uint32_t,
                                     const spa_dict* props) {
    static_cast<PipeWireLivePath*>(self)->OnGlobal(id, type, props);
  };
  hooks_->registryEvents.global_remove = [](void* self, uint32_t id) {
    static_cast<PipeWireLivePath*>(self)->OnGlobalRemoved(id);
  };
  hooks_->sinkEvents.version = PW_VERSION_PROXY_EVENTS;
  hooks_->sinkEvents.bound = [](void* self, uint32_t id) {
    auto* path = static_cast<PipeWireLivePath*>(self);
    path->sinkId_ = id;
    path->Relink();
  };
  hooks_->linkEvents.version = PW_VERSION_PROXY_EVENTS;
  hooks_->linkEvents.error = [](void* data, int, int, const char*) {
    auto* link = static_cast<LinkHook*>(data);
    link->path->OnLinkError(link->proxy);
  };
  hooks_->filterEvents.version = PW_VERSION_FILTER_EVENTS;
  hooks_->filterEvents.state_changed = [](void* self, pw_filter_state, pw_filter_state state, const char*) {
    auto* path = static_cast<PipeWireLivePath*>(self);
    if (state == PW_FILTER_STATE_ERROR || state == PW_FILTER_STATE_UNCONNECTED) return;
    const uint32_t id = pw_filter_get_node_id(path->filter_);
    if (id != SPA_ID_INVALID && id != path->filterId_) {
      path->filterId_ = id;
      path->Relink();
    }
  };
  hooks_->filterEvents.process = [](void* self, spa_io_position* position) {
    static_cast<PipeWireLivePath*>(self)->OnProcess(position);
  };
}

PipeWireLivePath::~PipeWireLivePath() {
  Stop();
  delete hooks_;
}

bool PipeWireLivePath::ServerAnswers() {
  OnceInit();
  pw_main_loop* loop = pw_main_loop_new(nullptr);
  if (!loop) return false;
  pw_context* context = pw_context_new(pw_main_loop_get_loop(loop), nullptr, 0);
  bool answers = false;
  if (context) {
    pw_core* core = pw_context_connect(context, nullptr, 0);
    answers = core != nullptr;
    if (core) pw_core_disconnect(core);
    pw_context_destroy(context);
  }
  pw_main_loop_destroy(loop);
  return answers;
}

bool PipeWireLivePath::Start(VirtualSinkFormat format, int timeoutMs) {
  if (running_) return sinkReady_ && filterReady_;
  format_ = format;
  channels_ = format.channels == 1 ? 1 : 2;
  positions_[0] = channels_ == 1 ? "MONO" : "FL";
  loop_ = pw_thread_loop_new("tonvex-graph", nullptr);
  if (!loop_) return false;
  context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                            pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (!context_) {
    pw_thread_loop_destroy(loop_);
    loop_ = nullptr;
    return false;
  }
  if (pw_thread_loop_start(loop_) < 0) {
    pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
    context_ = nullptr;
    loop_ = nullptr;
    return false;
  }
  running_ = true;
  {
    LoopGuard lock(loop_);
    pw_loop* loop = pw_thread_loop_get_loop(loop_);
    reconnectTimer_ = pw_loop_add_timer(loop, &PipeWireLivePath::OnReconnectTimer, this);
    relinkEvent_ = pw_loop_add_event(loop, &PipeWireLivePath::OnRelinkEvent, this);
    retryTimer_ = pw_loop_add_timer(loop, &PipeWireLivePath::OnRetryTimer, this);
    Connect();
    if (!core_) {
      Disconnect();
      ScheduleReconnect();
      return false;
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!(sinkReady_ && filterReady_) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return sinkReady_ && filterReady_;
}

void PipeWireLivePath::Stop() {
  if (!running_) return;
  SetCycleReader(nullptr);
  {
    LoopGuard lock(loop_);
    Disconnect();
    pw_loop* loop = pw_thread_loop_get_loop(loop_);
    pw_loop_destroy_source(loop, reconnectTimer_);
    pw_loop_destroy_source(loop, relinkEvent_);
    pw_loop_destroy_source(loop, retryTimer_);
    reconnectTimer_ = relinkEvent_ = retryTimer_ = nullptr;
  }
  pw_thread_loop_stop(loop_);
  pw_context_destroy(context_);
  pw_thread_loop_destroy(loop_);
  context_ = nullptr;
  loop_ = nullptr;
  running_ = false;
}

void PipeWireLivePath::Connect() {
  core_ = pw_context_connect(context_, nullptr, 0);
  if (!core_) return;
  pw_core_add_listener(core_, &hooks_->core, &hooks_->coreEvents, this);
  registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
  pw_registry_add_listener(registry_, &hooks_->registry, &hooks_->registryEvents, this);
  MakeSink();
  MakeFilter();
}

void PipeWireLivePath::MakeSink() {
  pw_properties* props = pw_properties_new(
      "factory.name", "support.null-audio-sink", PW_KEY_NODE_NAME, kSinkNodeName, PW_KEY_NODE_DESCRIPTION,
      engine::kVirtualDeviceName, PW_KEY_MEDIA_CLASS, "Audio/Sink", PW_KEY_OBJECT_LINGER, "false",
      "monitor.channel-volumes", "true", PW_KEY_NODE_VIRTUAL, "true",
      // Never the graph's driver: a driving sink hands its monitor on only at the end of its cycle, so the filter
      // would read it a quantum late. The output sink drives, and the sound leaves in the cycle it came in.
      PW_KEY_NODE_DRIVER, "false", nullptr);
  pw_properties_setf(props, PW_KEY_AUDIO_CHANNELS, "%d", channels_);
  pw_properties_set(props, SPA_KEY_AUDIO_POSITION, channels_ == 1 ? "[ MONO ]" : "[ FL FR ]");
  if (format_.rate != 0) pw_properties_setf(props, PW_KEY_AUDIO_RATE, "%u", format_.rate);
  sink_ = static_cast<pw_proxy*>(
      pw_core_create_object(core_, "adapter", PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, &props->dict, 0));
  pw_properties_free(props);
  if (sink_) pw_proxy_add_listener(sink_, &hooks_->sink, &hooks_->sinkEvents, this);
}

void PipeWireLivePath::MakeFilter() {
  // No media class: the session manager leaves the filter alone; its links are made here. Passive: it keeps
  // nothing running by itself. No latency is asked for: the graph's quantum stays the desktop's.
  pw_properties* props = pw_properties_new(
      PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Filter", PW_KEY_MEDIA_ROLE, "DSP", PW_KEY_NODE_NAME,
      kFilterNodeName, PW_KEY_NODE_DESCRIPTION, "Tonvex processing", PW_KEY_NODE_PASSIVE, "true", nullptr);
  filter_ = pw_filter_new(core_, "Tonvex processing", props);
  if (!filter_) return;
  pw_filter_add_listener(filter_, &hooks_->filter, &hooks_->filterEvents, this);
  for (int c = 0; c < channels_; ++c) {
    for (bool output : {false, true}) {
      const std::string name = std::string(output ? "out_" : "in_") + positions_[c];
      void* port = pw_filter_add_port(filter_, output ? PW_DIRECTION_OUTPUT : PW_DIRECTION_INPUT,
                                      PW_FILTER_PORT_FLAG_MAP_BUFFERS, sizeof(uint64_t),
                                      pw_properties_new(PW_KEY_FORMAT_DSP, "32 bit float mono audio", PW_KEY_PORT_NAME,
                                                        name.c_str(), PW_KEY_AUDIO_CHANNEL, positions_[c], nullptr),
                                      nullptr, 0);
      (output ? outPorts_ : inPorts_)[c] = port;
    }
  }
  if (pw_filter_connect(filter_, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) < 0)
    platform::OutputDebugText("pipewire: the processing filter could not connect");
}

void PipeWireLivePath::Disconnect() {
  for (auto& link : links_) DestroyLink(link.second);
  links_.clear();
  if (filter_) {
    // Removes the node from the data thread and waits for that: no cycle runs on it afterwards.
    pw_filter_destroy(filter_);
    filter_ = nullptr;
  }
  if (sink_) {
    spa_hook_remove(&hooks_->sink);
    pw_proxy_destroy(sink_);
    sink_ = nullptr;
  }
  if (registry_) {
    spa_hook_remove(&hooks_->registry);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    registry_ = nullptr;
  }
  if (core_) {
    spa_hook_remove(&hooks_->core);
    pw_core_disconnect(core_);
    core_ = nullptr;
  }
  for (void*& port : inPorts_) port = nullptr;
  for (void*& port : outPorts_) port = nullptr;
  nodes_.clear();
  ports_.clear();
  sinkId_ = filterId_ = SPA_ID_INVALID;
  sinkReady_ = filterReady_ = false;
  {
    std::lock_guard<std::mutex> lock(outputMutex_);
    outputSink_.clear();
    playingDescription_.clear();
  }
}

void PipeWireLivePath::ScheduleReconnect() {
  timespec value{0, kReconnectMs * 1'000'000L};
  timespec interval{0, 0};
  pw_loop_update_timer(pw_thread_loop_get_loop(loop_), reconnectTimer_, &value, &interval, false);
}

void PipeWireLivePath::OnReconnectTimer(void* self, uint64_t) {
  auto* path = static_cast<PipeWireLivePath*>(self);
  // The old connection is taken down here rather than in its own error callback.
  path->Disconnect();
  path->Connect();
  if (!path->core_) path->ScheduleReconnect();
}

void PipeWireLivePath::OnCoreError(uint32_t id, int res) {
  if (id != PW_ID_CORE || res != -EPIPE) return;
  platform::OutputDebugText("pipewire: the server went away; waiting for it to come back");
  ScheduleReconnect();
}

void PipeWireLivePath::OnGlobal(uint32_t id, const char* type, const spa_dict* props) {
  if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
    Node node;
    node.name = Get(props, PW_KEY_NODE_NAME);
    node.description = Get(props, PW_KEY_NODE_DESCRIPTION);
    if (node.description.empty()) node.description = Get(props, PW_KEY_NODE_NICK);
    if (node.description.empty()) node.description = node.name;
    node.mediaClass = Get(props, PW_KEY_MEDIA_CLASS);
    node.serial = std::strtoull(Get(props, PW_KEY_OBJECT_SERIAL), nullptr, 10);
    nodes_[id] = node;
  } else if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
    Port port;
    port.node = uint32_t(std::strtoul(Get(props, PW_KEY_NODE_ID), nullptr, 10));
    port.output = std::strcmp(Get(props, PW_KEY_PORT_DIRECTION), "out") == 0;
    port.monitor = std::strcmp(Get(props, PW_KEY_PORT_MONITOR), "true") == 0;
    port.channel = Get(props, PW_KEY_AUDIO_CHANNEL);
    port.name = Get(props, PW_KEY_PORT_NAME);
    ports_[id] = port;
  } else {
    return;
  }
  Relink();
}

void PipeWireLivePath::OnGlobalRemoved(uint32_t id) {
  const bool known = nodes_.erase(id) + ports_.erase(id) > 0;
  if (!known) return;
  for (auto it = links_.begin(); it != links_.end();) {
    if (it->first.from == id || it->first.to == id) {
      DestroyLink(it->second);
      it = links_.erase(it);
    } else {
      ++it;
    }
  }
  Relink();
}

uint32_t PipeWireLivePath::FindPort(uint32_t node, bool output, bool monitor, const std::string& channel) const {
  for (const auto& [id, port] : ports_)
    if (port.node == node && port.output == output && port.monitor == monitor && port.channel == channel) return id;
  return SPA_ID_INVALID;
}

uint32_t PipeWireLivePath::FindOwnPort(const std::string& name) const {
  for (const auto& [id, port] : ports_)
    if (port.node == filterId_ && port.name == name) return id;
  return SPA_ID_INVALID;
}

// The output rule over the graph's sinks in the order the PulseAudio side numbers them (by serial).
uint32_t PipeWireLivePath::ChooseTarget() {
  std::vector<std::pair<uint64_t, uint32_t>> order;
  for (const auto& [id, node] : nodes_)
    if (node.mediaClass == "Audio/Sink" && id != sinkId_) order.push_back({node.serial, id});
  std::sort(order.begin(), order.end());
  std::vector<OutputCandidate> candidates;
  for (const auto& entry : order) candidates.push_back({nodes_[entry.second].name, nodes_[entry.second].description});
  std::lock_guard<std::mutex> lock(outputMutex_);
  const OutputChoice choice = ChooseOutputDevice(candidates, outputDescription_, startDefault_);
  outputSink_ = choice.index >= 0 ? candidates[size_t(choice.index)].name : std::string();
  playingDescription_ = choice.index >= 0 ? candidates[size_t(choice.index)].description : std::string();
  return choice.index >= 0 ? order[size_t(choice.index)].second : SPA_ID_INVALID;
}

// Makes the links that should be there and removes the others: sink monitor -> filter input, filter output ->
// the output sink's playback ports, channel by channel (a mono side feeds or takes both channels of the other).
void PipeWireLivePath::Relink() {
  if (!core_) return;
  std::map<LinkKey, std::pair<uint32_t, uint32_t>> wanted;  // ports -> nodes
  const uint32_t target = ChooseTarget();
  bool sinkReady = sinkId_ != SPA_ID_INVALID;
  bool filterReady = filterId_ != SPA_ID_INVALID;
  for (int c = 0; c < channels_; ++c) {
    const uint32_t monitor = sinkId_ == SPA_ID_INVALID ? SPA_ID_INVALID : FindPort(sinkId_, true, true, positions_[c]);
    const uint32_t in = filterId_ == SPA_ID_INVALID ? SPA_ID_INVALID : FindOwnPort(std::string("in_") + positions_[c]);
    const uint32_t out =
        filterId_ == SPA_ID_INVALID ? SPA_ID_INVALID : FindOwnPort(std::string("out_") + positions_[c]);
    sinkReady = sinkReady && monitor != SPA_ID_INVALID;
    filterReady = filterReady && in != SPA_ID_INVALID && out != SPA_ID_INVALID;
    if (monitor != SPA_ID_INVALID && in != SPA_ID_INVALID) wanted[{monitor, in}] = {sinkId_, filterId_};
    if (out == SPA_ID_INVALID || target == SPA_ID_INVALID) continue;
    std::vector<uint32_t> playback;
    if (uint32_t p = FindPort(target, false, false, positions_[c]); p != SPA_ID_INVALID) {
      playback.push_back(p);
    } else if (channels_ == 1) {
      for (const char* channel : {"FL", "FR"})
        if (uint32_t q = FindPort(target, false, false, channel); q != SPA_ID_INVALID) playback.push_back(q);
    } else if (c == 0) {
      if (uint32_t q = FindPort(target, false, false, "MONO"); q != SPA_ID_INVALID) playback.push_back(q);
    }
    for (uint32_t p : playback) wanted[{out, p}] = {filterId_, target};
  }
  sinkReady_ = sinkReady;
  filterReady_ = filterReady;

  for (auto it = links_.begin(); it != links_.end();) {
    if (wanted.count(it->first) && !it->second.failed) {
      ++it;
      continue;
    }
    DestroyLink(it->second);
    it = links_.erase(it);
  }
  for (const auto& [ports, nodes] : wanted) {
    if (links_.count(ports)) continue;
    pw_properties* props = pw_properties_new(PW_KEY_OBJECT_LINGER, "false", PW_KEY_LINK_PASSIVE, "true", nullptr);
    pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", nodes.first);
    pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", ports.from);
    pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", nodes.second);
    pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", ports.to);
    auto* link = static_cast<pw_proxy*>(
        pw_core_create_object(core_, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
    pw_properties_free(props);
    if (!link) continue;
    auto* hook = new LinkHook;
    hook->path = this;
    hook->proxy = link;
    pw_proxy_add_listener(link, &hook->hook, &hooks_->linkEvents, hook);
    links_[ports] = {link, hook, false};
  }

  std::string sinkName;
  {
    std::lock_guard<std::mutex> lock(outputMutex_);
    sinkName = outputSink_;
  }
  if (sinkName != announced_ && filterReady) {
    platform::OutputDebugText(sinkName.empty() ? std::string("output: no real sink to play on")
                                               : "output plays on \"" + sinkName + "\"");
    announced_ = sinkName;
  }
}

void PipeWireLivePath::DestroyLink(Link& link) {
  if (link.hook) {
    spa_hook_remove(&link.hook->hook);
    delete link.hook;
    link.hook = nullptr;
  }
  if (link.proxy) pw_proxy_destroy(link.proxy);
  link.proxy = nullptr;
}

void PipeWireLivePath::OnLinkError(pw_proxy* proxy) {
  for (auto& [ports, link] : links_) {
    if (link.proxy != proxy || link.failed) continue;
    link.failed = true;
    platform::OutputDebugText("pipewire: a link of the output was refused; trying again");
    timespec value{kLinkRetryMs / 1000, 0};
    timespec interval{0, 0};
    pw_loop_update_timer(pw_thread_loop_get_loop(loop_), retryTimer_, &value, &interval, false);
  }
}

void PipeWireLivePath::OnRetryTimer(void* self, uint64_t) { static_cast<PipeWireLivePath*>(self)->Relink(); }

std::string PipeWireLivePath::PlayingDevice() {
  std::lock_guard<std::mutex> lock(outputMutex_);
  return playingDescription_;
}

void PipeWireLivePath::SetOutput(const std::string& description) {
  {
    std::lock_guard<std::mutex> lock(outputMutex_);
    if (description == outputDescription_) return;
    outputDescription_ = description;
  }
  if (loop_ && relinkEvent_) pw_loop_signal_event(pw_thread_loop_get_loop(loop_), relinkEvent_);
}

void PipeWireLivePath::SetStartDefault(const std::string& sinkName) {
  std::lock_guard<std::mutex> lock(outputMutex_);
  startDefault_ = sinkName;
}

void PipeWireLivePath::OnRelinkEvent(void* self, uint64_t) { static_cast<PipeWireLivePath*>(self)->Relink(); }

void PipeWireLivePath::SetCycleReader(std::function<void()> reader) {
  // Both flags are sequentially consistent: either the data thread sees the reader switched off, or this
  // thread sees it inside the call and waits until it has left.
  readerOn_.store(false);
  while (inReader_.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  reader_ = std::move(reader);
  readerOn_.store(static_cast<bool>(reader_));
}

void PipeWireLivePath::OnProcess(spa_io_position* position) {
  const uint32_t frames = std::min<uint32_t>(position->clock.duration, kGraphMaxFrames);
  for (int c = 0; c < channels_; ++c) {
    const void* in = inPorts_[c] ? pw_filter_get_dsp_buffer(inPorts_[c], frames) : nullptr;
    cycle_.input[c] = in ? static_cast<const float*>(in) : kSilence;
    cycle_.output[c] = outPorts_[c] ? static_cast<float*>(pw_filter_get_dsp_buffer(outPorts_[c], frames)) : nullptr;
  }
  RunCycle(frames, position->clock.rate.denom, position->clock.nsec);
}

void PipeWireLivePath::RunCycle(uint32_t frames, uint32_t rate, uint64_t nsec) {
  cycle_.frames = std::min(frames, kGraphMaxFrames);
  cycle_.rate = rate;
  cycle_.read = cycle_.written = 0;
  // A gap since the previous cycle's end means the graph paused (nothing played) or this is the first cycle.
  const uint64_t expectedNs = rate ? uint64_t(lastFrames_) * 1'000'000'000ull / rate : 0;
  cycle_.restarted = lastCycleNsec_ == 0 || nsec > lastCycleNsec_ + expectedNs + kPauseNs;
  lastCycleNsec_ = nsec;
  lastFrames_ = cycle_.frames;
  inReader_.store(true);
  if (readerOn_.load() && cycle_.frames > 0 && rate > 0) reader_();
  inReader_.store(false);
  // Whatever the engine did not write this cycle (a format report, a dropped block) leaves as silence.
  for (int c = 0; c < channels_; ++c)
    if (cycle_.output[c] && cycle_.written < cycle_.frames)
      std::memset(cycle_.output[c] + cycle_.written, 0, (cycle_.frames - cycle_.written) * sizeof(float));
  cycles_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace audio
