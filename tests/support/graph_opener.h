#pragma once
#include <memory>
#include <string>

#include "audio/pipewire_driver.h"
#include "audio/pipewire_live_path.h"
#include "engine/driver_protocol.h"

namespace testing_support {

// Opens the driver device on a path that is never started: the caller runs its cycles.
class GraphOpener : public engine::IDriverOpener {
 public:
  explicit GraphOpener(audio::PipeWireLivePath& path) : path_(path) {}
  std::unique_ptr<engine::IDriverDevice> Open(const std::string&) override {
    return std::make_unique<audio::PipeWireDriverDevice>(path_);
  }

 private:
  audio::PipeWireLivePath& path_;
};

}  // namespace testing_support
