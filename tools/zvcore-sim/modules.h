// The simulator's modules, one source file each. A module is a SimModule object (rules.h) made by
// its factory below; make_sim_modules() makes them all, in this order. Modules not yet written as
// objects still install themselves with Simulator::on / Simulator::silent (kSimModules).
#pragma once

#include <memory>
#include <vector>

class Simulator;
class SimModule;

std::vector<std::unique_ptr<SimModule>> make_sim_modules();

// Module factories (one source file each).
std::unique_ptr<SimModule> make_playback_sim();  // playback.cc: sessions, index, download

void install_system_module(Simulator& simulator);  // system.cc: lifecycle, login, users, op log
void install_video_module(Simulator& simulator);   // video.cc: camera motion grid, OSD, masks
void install_camera_module(Simulator& simulator);  // camera.cc: camera registry, streams, audio

inline constexpr void (*kSimModules[])(Simulator&) = {
    install_system_module,
    install_video_module,
    install_camera_module,
};
