// Whether the user asked the host to stop the call in progress (Ctrl-C in
// Octave), for the backend's own long waits; false where no host says.
#pragma once

namespace posix_serial {

bool InterruptRequested();

} // namespace posix_serial
