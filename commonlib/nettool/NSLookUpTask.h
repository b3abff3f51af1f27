// Looks a host up for address records through a list of resolvers, one after another, until one
// answers; posts code 0 with the addresses joined by ";" or -1 with an empty text.
#pragma once

#include <string>

#include "commonlib/nettool/NetToolTask.h"

class CNSLookUpTask : public CNetToolTask {
 public:
  // `servers`: resolver addresses separated by ";" (each may carry ":port"); empty for the
  // built-in public resolvers.
  CNSLookUpTask(std::string host, std::string servers, NetToolCallback callback, void* user);

  void Run() override;

  std::string m_servers;
};
