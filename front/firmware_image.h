// Firmware images uploaded by the browser: the web server keeps an uploaded camera image where the
// core reads it, before the upload's identifier is dispatched.
#pragma once

// True for the raw-upload identifiers whose file part is a camera image ("/6082", "/2079").
bool is_camera_image_upload(const char* id);

// Copies the first file part of the request's form entries to /dev/shm/updateIPCFM.bin: written
// to a temporary file beside it and renamed over it, so the core never reads a half-written image
// and a failed copy leaves the previous image as it was. False when there is no file part or the
// copy failed.
bool store_camera_image();
