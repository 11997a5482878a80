// The channels that have a camera, as the core knows them: a stored, enabled camera row in the
// configuration database. A camera-side set for any other channel reaches no camera: the
// simulated core stores nothing for it and answers the failure.
#pragma once

#include <cstdint>

bool sim_camera_present(int64_t channel);
