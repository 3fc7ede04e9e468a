#include "platform/pulse_sinks.h"

#include <cstdlib>

namespace platform {
namespace {

struct ListRequest {
  PulseConnection* connection;
  std::vector<PulseSink>* sinks;
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* request = static_cast<ListRequest*>(userdata);
  if (eol || !info) {
    request->connection->Signal();
    return;
  }
  PulseSink sink;
  sink.index = info->index;
  sink.name = info->name ? info->name : "";
  sink.description = info->description ? info->description : sink.name;
  sink.sampleFormat = info->sample_spec;
  sink.state = info->state;
  sink.ownerModule = info->owner_module;
  request->sinks->push_back(std::move(sink));
}

struct ClientListRequest {
  PulseConnection* connection;
  std::vector<PulseClient>* clients;
};

void OnClientInfo(pa_context*, const pa_client_info* info, int eol, void* userdata) {
  auto* request = static_cast<ClientListRequest*>(userdata);
  if (eol || !info) {
    request->connection->Signal();
    return;
  }
  PulseClient client;
  client.index = info->index;
  client.name = info->name ? info->name : "";
  if (const char* user = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_USER)) client.user = user;
  if (const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID))
    client.processId = std::strtol(pid, nullptr, 10);
  request->clients->push_back(std::move(client));
}

struct ServerRequest {
  PulseConnection* connection;
  std::string* name;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
  auto* request = static_cast<ServerRequest*>(userdata);
  if (info && info->default_sink_name) *request->name = info->default_sink_name;
  request->connection->Signal();
}

struct SuccessRequest {
  PulseConnection* connection;
  bool success = false;
};

void OnSuccess(pa_context*, int success, void* userdata) {
  auto* request = static_cast<SuccessRequest*>(userdata);
  request->success = success != 0;
  request->connection->Signal();
}

// Runs one server operation under the mainloop lock and waits for it; `start` returns the operation
// (null when it could not be started). False when there is no connection or the operation did not finish.
template <typename Start>
bool RunOperation(PulseConnection& connection, int timeoutMs, Start start) {
  if (!connection.Ready()) return false;
  LoopLock lock(connection);
  if (!connection.Context()) return false;
  return connection.WaitOperation(start(connection.Context()), timeoutMs);
}

}  // namespace

bool ListSinks(PulseConnection& connection, std::vector<PulseSink>* sinks, int timeoutMs) {
  sinks->clear();
  ListRequest request{&connection, sinks};
  return RunOperation(connection, timeoutMs, [&](pa_context* context) {
    return pa_context_get_sink_info_list(context, &OnSinkInfo, &request);
  });
}

bool ListClients(PulseConnection& connection, std::vector<PulseClient>* clients, int timeoutMs) {
  clients->clear();
  ClientListRequest request{&connection, clients};
  return RunOperation(connection, timeoutMs, [&](pa_context* context) {
    return pa_context_get_client_info_list(context, &OnClientInfo, &request);
  });
}

bool GetDefaultSink(PulseConnection& connection, std::string* name, int timeoutMs) {
  name->clear();
  ServerRequest request{&connection, name};
  return RunOperation(
             connection, timeoutMs,
             [&](pa_context* context) { return pa_context_get_server_info(context, &OnServerInfo, &request); }) &&
         !name->empty();
}

bool GetServerName(PulseConnection& connection, std::string* name, int timeoutMs) {
  name->clear();
  ServerRequest request{&connection, name};
  return RunOperation(connection, timeoutMs,
                      [&](pa_context* context) {
                        return pa_context_get_server_info(
                            context,
                            [](pa_context*, const pa_server_info* info, void* userdata) {
                              auto* request = static_cast<ServerRequest*>(userdata);
                              if (info && info->server_name) *request->name = info->server_name;
                              request->connection->Signal();
                            },
                            &request);
                      }) &&
         !name->empty();
}

bool SetDefaultSink(PulseConnection& connection, const std::string& name, int timeoutMs) {
  SuccessRequest request{&connection};
  return RunOperation(connection, timeoutMs,
                      [&](pa_context* context) {
                        return pa_context_set_default_sink(context, name.c_str(), &OnSuccess, &request);
                      }) &&
         request.success;
}

bool FindSinkByDescription(PulseConnection& connection, const std::string& description, PulseSink* sink,
                           int timeoutMs) {
  std::vector<PulseSink> sinks;
  if (!ListSinks(connection, &sinks, timeoutMs)) return false;
  for (auto& candidate : sinks) {
    if (candidate.description == description) {
      *sink = candidate;
      return true;
    }
  }
  return false;
}

bool UnloadModule(PulseConnection& connection, uint32_t module, int timeoutMs) {
  SuccessRequest request{&connection};
  return RunOperation(
             connection, timeoutMs,
             [&](pa_context* context) { return pa_context_unload_module(context, module, &OnSuccess, &request); }) &&
         request.success;
}

}  // namespace platform
