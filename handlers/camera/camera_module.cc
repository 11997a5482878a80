#include "common/request_table.h"

#include "common/request.h"
#include "handlers/camera/camera_apps.h"
#include "common/messages/camera.h"
#include "handlers/camera/camera_requests.h"
#include "common/messages/camera_setup.h"

ZV_REQUESTS(kCameraModuleRequests, "camera",
    {"/2065", chnid_record_read<kAudioSupport>},
    {"/2071", group_command<kCountingGroupReset>},
    {"/2072", group_command<kCountingGroupStaying>},
    {"/2019", channel_settings_read<kImageRead, &ImageSettingsReply::settings>},
    {"/2021", channel_settings_read<kImageExtensionRead, &ImageExtensionRecord::extension>},
    {"/2041", camera_plan_read<kPlanARead>},
    {"/2042", camera_plan_set<kPlanASet>},
    {"/2043", camera_plan_read<kPlanBRead>},
    {"/2044", camera_plan_set<kPlanBSet>},
    {"/2045", camera_plan_read<kPlanCRead>},
    {"/2046", camera_plan_set<kPlanCSet>},
    {"/2057", chnid_record_read<kCameraIdentity>},
    {"/2058", chnid_record_read<kWatermarkRead>});
