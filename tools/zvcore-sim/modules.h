// The simulator's modules, one source file each. A module is a SimModule object (rules.h) made by
// its factory below; make_sim_modules() makes them all, in this order.
#pragma once

#include <memory>
#include <vector>

class SimModule;

std::vector<std::unique_ptr<SimModule>> make_sim_modules();

std::unique_ptr<SimModule> make_system_sim();  // system.cc: lifecycle, login, users, op log
std::unique_ptr<SimModule> make_video_sim();  // video.cc: camera motion grid, OSD, masks
std::unique_ptr<SimModule> make_camera_sim();  // camera.cc: camera registry, streams, audio
std::unique_ptr<SimModule> make_playback_sim();  // playback.cc: sessions, index, download
