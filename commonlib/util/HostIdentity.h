// The reporting machine's identity for the statistics upload: the hardware address of its first
// working adapter and a local IPv4 address. Failure is only ever an empty result.
#pragma once

#include <string>
#include <vector>

#include "platform/net_adapters.h"

// The first adapter that is up with a six-byte hardware address, as 12 lowercase hexadecimal
// digits ("001a2b3c4d5e"), or an empty string. The first address found is kept for the life of
// the process; an empty result is not kept, so a later call looks again.
std::wstring GetMacAddress();

// The first IPv4 address the host name resolves to, dotted ("192.0.2.7"), or an empty string.
std::string GetLocalIp();

// The address text GetMacAddress takes from an adapter list, without the cache.
std::wstring MacTextFromAdapters(const std::vector<platform::NetAdapter>& adapters);
