// The process's standard streams as a console program sees them.
#pragma once

namespace platform {

// Whether standard error is a terminal, where a line can be redrawn in place.
bool StandardErrorIsTerminal();

}  // namespace platform
