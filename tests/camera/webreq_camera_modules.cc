// The module list of webreq-camera: the front end with the camera module alone, so the request
// tests of this module run the real front end and handlers without depending on other modules.
#include "front/registry.h"
#include "handlers/camera/camera_module.h"

const RequestModule* const kProgramModules[] = {&kCameraModule, nullptr};
const int kProgramModuleCount = 1;
