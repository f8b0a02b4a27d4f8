// Maps COMn to a device by a link in the user's config folder, the rule the
// module follows when QUORVEL_DEVICES is not set.
#pragma once

#include <string>

namespace port_survey {

struct Mapping {
    unsigned long number; // the port, 1 to PortCount; 0 when refused before it was known
    std::string refusal;  // why nothing was changed, or "" when done
};

// Links port ("COM3") to target, replacing its link; an empty target removes
// the link. Refuses while QUORVEL_DEVICES is set, since its links would win.
Mapping MapPort(const std::string& port, const std::string& target);

} // namespace port_survey
