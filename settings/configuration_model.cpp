#include "settings/configuration_model.h"

namespace settings {

ConfigurationModel& Configuration() {
  static ConfigurationModel model;
  return model;
}

}  // namespace settings
