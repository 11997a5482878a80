// The module list of webreq-playback: the front end with the playback module alone, so the
// request tests of this module run the real front end and handlers without other modules.
#include "front/registry.h"
#include "handlers/playback/playback_module.h"

const RequestModule* const kProgramModules[] = {&kPlaybackModule, nullptr};
const int kProgramModuleCount = 1;
