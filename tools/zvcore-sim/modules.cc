#include "tools/zvcore-sim/modules.h"

#include "tools/zvcore-sim/rules.h"

std::vector<std::unique_ptr<SimModule>> make_sim_modules() {
  std::vector<std::unique_ptr<SimModule>> modules;
  modules.push_back(make_system_sim());
  modules.push_back(make_video_sim());
  modules.push_back(make_camera_sim());
  modules.push_back(make_playback_sim());
  return modules;
}
