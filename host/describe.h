// Readable text for a module's records and a frame's snapshot, as the
// gaugehost command prints them.
#pragma once

#include <string>

#include "host.h"

namespace tarnwix::host {

const char* kind_name(ElementKind kind);
std::string describe_records(const Module& module);
// Values with `digits` significant digits; 17 tell any two doubles apart.
std::string describe_frame(const FrameSnapshot& frame, int number, int digits = 6);

}  // namespace tarnwix::host
