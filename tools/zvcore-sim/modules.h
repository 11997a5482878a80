// The handler modules of the simulator, one source file each, installed in this order. A module
// registers the message ids it simulates with Simulator::on (and Simulator::silent for notices).
#pragma once

class Simulator;

void install_system_module(Simulator& simulator);  // system.cc: lifecycle, login, users, op log
void install_video_module(Simulator& simulator);   // video.cc: camera motion grid, OSD, masks
void install_playback_module(Simulator& simulator);  // playback.cc: sessions, index, download
void install_camera_module(Simulator& simulator);  // camera.cc: camera registry, streams, audio

inline constexpr void (*kSimModules[])(Simulator&) = {
    install_system_module,
    install_video_module,
    install_playback_module,
    install_camera_module,
};
