// Firmware images uploaded by the browser: the web server keeps an uploaded camera image where the
// core reads it, before the upload's identifier is dispatched.
#pragma once

// True for the raw-upload identifiers whose file part is a camera image ("/6082", "/2079").
bool is_camera_image_upload(const char* id);

enum class CameraImageStore { kNoFilePart, kStored, kFailed };

// Copies the first file part of the request's form entries to /dev/shm/updateIPCFM.bin: written
// to a temporary file beside it and renamed over it, so the core never reads a half-written image
// and a failed copy leaves the previous image as it was. kNoFilePart when the request carries no
// file part (nothing is touched), kFailed when the copy failed.
CameraImageStore store_camera_image();
