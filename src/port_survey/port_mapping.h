// Maps COMn to a device by a link in the user's config folder, the rule the
// module follows when QUORVEL_DEVICES is not set.
#pragma once

#include "survey_records.h"

#include <string>

namespace port_survey {

// Links port ("COM3") to target, replacing its link; an empty target removes
// the link. Refuses while QUORVEL_DEVICES is set, since its links would win.
Mapping MapPort(const std::string& port, const std::string& target);

} // namespace port_survey
