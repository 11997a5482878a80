#include "handlers/storage/storage_module.h"

#include <cstring>
#include <iterator>

#include "common/json_fields.h"
#include "common/oplog.h"
#include "handlers/storage/storage_internal.h"

void storage_log(int64_t sub_type, int32_t param_type, int32_t port, int32_t detail_kind,
                 const void* detail, uint32_t detail_size) {
  OpLogRecord record;
  op_log_init(&record);
  record.sub_type = sub_type;
  record.param_type = param_type;
  record.channel = port;
  if (detail != nullptr) zvfs_log_pack_detail(&record, detail_kind, detail, detail_size);
  op_log_send(record);
}

bool array_text(json_object* array, size_t i, char* buffer, size_t size, bool* present, bool whole) {
  *present = false;
  json_object* element = json_array_at(array, i);
  if (!json_value_text(element, buffer, size)) return true;
  *present = true;
  const char* full = json_object_get_string(element);
  return valid_request_text(full, strlen(full)) && !(whole && strlen(full) >= size);
}

namespace {

const WebReqEntry kStorageRequests[] = {
    {"/6100", disk_list_handler},
    {"/6101", disk_property_handler},
    {"/6102", disk_format_handler},
    {"/6103", disk_check_handler},
    {"/6104", raid_create_handler},
    {"/6105", raid_delete_handler},
    {"/6106", hot_spare_handler},
    {"/6107", raid_rebuild_handler},
    {"/6108", raid_mode_read_handler},
    {"/6109", raid_mode_set_handler},
    {"/6200", nas_remove_handler},
    {"/6201", nas_add_handler},
    {"/6202", share_search_handler},
    {"/6203", nas_edit_handler},
    {"/6204", esata_mode_set_handler},
    {"/6205", esata_mode_read_handler},
    {"/6206", self_evaluation_handler},
    {"/6207", device_remove_handler},
    {"/6208", quota_read_handler},
    {"/6209", quota_set_handler},
    {"/6210", groups_set_handler},
    {"/6220", auto_backup_read_handler},
    {"/6221", auto_backup_set_handler},
    {"/6222", auto_backup_progress_handler},
    {"/6223", backup_device_handler},
    {"/6224", device_backup_start_handler},
    {"/6225", device_backup_status_handler},
    {"/6226", device_backup_stop_handler},
    {"/6227", device_backup_progress_handler},
    {"/8010", groups_read_handler},
};

}  // namespace

const RequestModule kStorageModule = {"storage", kStorageRequests, static_cast<int>(std::size(kStorageRequests))};
