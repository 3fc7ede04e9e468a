#pragma once
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pulse_connection.h"

namespace platform {

// What the program needs to know of one playback device of the audio server.
struct PulseSink {
  uint32_t index = PA_INVALID_INDEX;
  std::string name;         // the server's identifier
  std::string description;  // what the user sees; devices are chosen by this text
  pa_sample_spec sampleFormat{};
  pa_sink_state_t state = PA_SINK_INVALID_STATE;
  uint32_t ownerModule = PA_INVALID_INDEX;
};

// A program connected to the audio server, as its connection introduced itself.
struct PulseClient {
  uint32_t index = PA_INVALID_INDEX;
  std::string name;  // the connection's name ("Tonvex control")
  std::string user;  // application.process.user; empty when the client did not say
  long processId = 0;
};

// These wait for the server (at most timeoutMs): for start-up, shutdown and tools, never the audio path.
bool ListSinks(PulseConnection& connection, std::vector<PulseSink>* sinks, int timeoutMs = 2000);
// The preferred playback device: the server's default sink, by name.
bool GetDefaultSink(PulseConnection& connection, std::string* name, int timeoutMs = 2000);
// The server's own name: "pulseaudio", or "PulseAudio (on PipeWire 0.3.65)" for PipeWire's pulse server.
bool GetServerName(PulseConnection& connection, std::string* name, int timeoutMs = 2000);
bool SetDefaultSink(PulseConnection& connection, const std::string& name, int timeoutMs = 2000);
// The sink whose description is exactly `description`; false when there is none.
bool FindSinkByDescription(PulseConnection& connection, const std::string& description, PulseSink* sink,
                           int timeoutMs = 2000);
bool ListClients(PulseConnection& connection, std::vector<PulseClient>* clients, int timeoutMs = 2000);
// Unloads a module of the server (the virtual sink's module-null-sink); false when it could not.
bool UnloadModule(PulseConnection& connection, uint32_t module, int timeoutMs = 2000);

}  // namespace platform
