// The simulator's modules, one source file each (tools/zvcore-sim/<name>.cc, listed in this
// directory's CMakeLists.txt). A module is a SimModule object (rules.h) made by its factory
// make_<name>_sim(); make_sim_modules() makes them all, in the list's order.
#pragma once

#include <memory>
#include <vector>

class SimModule;

std::vector<std::unique_ptr<SimModule>> make_sim_modules();

// The camera module alone, for tests that drive its rules directly.
std::unique_ptr<SimModule> make_camera_sim();
