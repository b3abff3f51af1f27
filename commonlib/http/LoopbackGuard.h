// The HTTP side of the loopback-only net (platform/loopback_only.h): with the net on, a transfer
// connects only to loopback addresses, and curl resolves names through a DNS-over-HTTPS address
// on loopback that never answers, so a name fails as unresolvable (curl 6) without the system
// resolver sending a query off the machine ("localhost" and address literals need no lookup).
#pragma once

#include <curl/curl.h>

// Installs the net on a transfer's handle when it is on; nothing otherwise.
void ApplyLoopbackGuard(CURL* easy);
