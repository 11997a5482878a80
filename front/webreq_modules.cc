// The handler modules of webreq, in registration order: storage, diagnostics and status, video and
// event configuration, cameras, recording schedules, playback, PTZ, system administration, local
// settings, network, alarms. The build defines ZV_HAVE_<NAME>_MODULE for every module library in
// handlers/; each module exposes `extern const RequestModule k<Name>Module;` from
// handlers/<dir>/<dir>_module.h.
#include "front/registry.h"

#ifdef ZV_HAVE_STORAGE_MODULE
#include "handlers/storage/storage_module.h"
#endif
#ifdef ZV_HAVE_STATE_MODULE
#include "handlers/state/state_module.h"
#endif
#ifdef ZV_HAVE_VIDEO_MODULE
#include "handlers/video/video_module.h"
#endif
#ifdef ZV_HAVE_CAMERA_MODULE
#include "handlers/camera/camera_module.h"
#endif
#ifdef ZV_HAVE_RECORD_MODULE
#include "handlers/record/record_module.h"
#endif
#ifdef ZV_HAVE_PLAYBACK_MODULE
#include "handlers/playback/playback_module.h"
#endif
#ifdef ZV_HAVE_PTZ_MODULE
#include "handlers/ptz/ptz_module.h"
#endif
#ifdef ZV_HAVE_SYSTEM_MODULE
#include "handlers/system/system_module.h"
#endif
#ifdef ZV_HAVE_LOCAL_MODULE
#include "handlers/local/local_module.h"
#endif
#ifdef ZV_HAVE_NETWORK_MODULE
#include "handlers/network/network_module.h"
#endif
#ifdef ZV_HAVE_ALARM_MODULE
#include "handlers/alarm/alarm_module.h"
#endif

const RequestModule* const kProgramModules[] = {
#ifdef ZV_HAVE_STORAGE_MODULE
    &kStorageModule,
#endif
#ifdef ZV_HAVE_STATE_MODULE
    &kStateModule,
#endif
#ifdef ZV_HAVE_VIDEO_MODULE
    &kVideoModule,
#endif
#ifdef ZV_HAVE_CAMERA_MODULE
    &kCameraModule,
#endif
#ifdef ZV_HAVE_RECORD_MODULE
    &kRecordModule,
#endif
#ifdef ZV_HAVE_PLAYBACK_MODULE
    &kPlaybackModule,
#endif
#ifdef ZV_HAVE_PTZ_MODULE
    &kPtzModule,
#endif
#ifdef ZV_HAVE_SYSTEM_MODULE
    &kSystemModule,
#endif
#ifdef ZV_HAVE_LOCAL_MODULE
    &kLocalModule,
#endif
#ifdef ZV_HAVE_NETWORK_MODULE
    &kNetworkModule,
#endif
#ifdef ZV_HAVE_ALARM_MODULE
    &kAlarmModule,
#endif
    nullptr,  // keeps the array non-empty while no module exists
};

const int kProgramModuleCount =
    static_cast<int>(sizeof kProgramModules / sizeof kProgramModules[0]) - 1;
