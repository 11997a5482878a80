// The device settings' messages to the core (display, device name, automatic reboot, port
// mapping, access filter, alarm audio files, diagnostics), each declared once
// (common/exchange.h), with their payload records. The reboot (1703) is in system.h, the
// network change (1702) in common/messages/network.h.
#pragma once

#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/audio_file_record.h"
#include "platform/zvdb/records/device_records.h"
#include "platform/zvrecord/schema.h"

// ---- Display and device ----

// One output's resolution (1001): output 0 is the main output, 1 the second.
struct OutputResolution {
  int32_t output;
  int32_t resolution;
};
ZV_SCHEMA(OutputResolution, ZV_INTERNAL(output), ZV_INTERNAL(resolution));
static_assert(sizeof(OutputResolution) == 8);

// The audio outputs (1002).
struct AudioOutputs {
  int32_t hdmi_audio_on;
  int32_t audio_output_on;
  int32_t audio_volume;
};
ZV_SCHEMA(AudioOutputs, ZV_INTERNAL(hdmi_audio_on), ZV_INTERNAL(audio_output_on), ZV_INTERNAL(audio_volume));
static_assert(sizeof(AudioOutputs) == 12);

inline constexpr Notice<OutputResolution> kOutputResolution{1001, "output resolution"};
inline constexpr Notice<AudioOutputs> kAudioOutputs{1002, "audio outputs"};
// The outputs' resolutions were sent: the core applies them.
inline constexpr Notice<NoPayload> kOutputsApply{1015, "outputs apply"};
// Switch the second output on (1) or off (0).
inline constexpr Notice<int32_t> kSecondOutput{1023, "second output"};
// The device id (1..255, or 0..256 from the display page).
inline constexpr Notice<int32_t> kDeviceId{1705, "device id"};
// The automatic reboot settings changed.
inline constexpr Notice<NoPayload> kAutoRebootChanged{1718, "automatic reboot changed"};
// Map the ports again now (the page reads the statuses half a second later).
inline constexpr Notice<NoPayload> kUpnpRefresh{1721, "port mapping refresh"};
// The access filter changed.
inline constexpr Notice<NoPayload> kAccessFilterChanged{1722, "access filter changed"};
// The port mapping to apply; the core stores it with the mapping statuses.
inline constexpr Notice<UpnpConfig> kUpnpSet{3720, "port mapping set"};
// A value the core keeps (its int32 reply is printed as it is).
inline constexpr Exchange<NoPayload, int32_t> kCoreValue{3265, 8265, "core value"};
inline constexpr Notice<NoPayload> kCoreAction{3267, "core action"};

// ---- Alarm audio files (ten slots, names in URL-safe Base64) ----

// The encoded name of an upload waiting as "/tmp/<name>" (4013).
struct AudioFileName {
  char name[kAudioFileNameSize];
};
ZV_SCHEMA(AudioFileName, ZV_INTERNAL(name));
static_assert(sizeof(AudioFileName) == 128);

// Every slot (any number of records, none included).
inline constexpr Exchange<NoPayload, AudioFileEntry> kAudioFileList{4012, 9012, "audio file list", 0};
inline constexpr Exchange<AudioFileName, int32_t> kAudioFileAdd{4013, 9013, "audio file add"};
// The slots of the mask's bits 0..9 are emptied.
inline constexpr Exchange<int32_t, int32_t> kAudioFileDelete{4014, 9014, "audio file delete"};
inline constexpr Exchange<AudioFileEntry, int32_t> kAudioFileName{4015, 9015, "audio file name"};
inline constexpr Exchange<int32_t, int32_t> kAudioFilePlay{4016, 9016, "audio file play"};

// ---- Diagnostics export ----

// The directory the core writes the package into (3528).
struct DiagnosticsRequest {
  char directory[64];
};
ZV_SCHEMA(DiagnosticsRequest, ZV_INTERNAL(directory));
static_assert(sizeof(DiagnosticsRequest) == 64);

// The core's answer (8528): status >= 0 is success; the package path follows, up to the payload's
// end (the first 8 bytes are required).
struct DiagnosticsReply {
  int32_t kind;
  int32_t status;
  char path[256];
};
ZV_SCHEMA(DiagnosticsReply, ZV_INTERNAL(kind), ZV_INTERNAL(status), ZV_INTERNAL(path));
static_assert(sizeof(DiagnosticsReply) == 264);
inline constexpr Exchange<DiagnosticsRequest, DiagnosticsReply> kDiagnosticsExport{3528, 8528, "diagnostics export",
                                                                                   8};
