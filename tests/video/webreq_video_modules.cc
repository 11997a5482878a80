// The module list of webreq-video: the front end with the video module alone, so the request
// tests of this module run the real front end and handlers without depending on other modules.
#include "front/registry.h"
#include "handlers/video/video_module.h"

const RequestModule* const kProgramModules[] = {&kVideoModule, nullptr};
const int kProgramModuleCount = 1;
