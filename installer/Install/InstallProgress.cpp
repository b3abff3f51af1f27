#include "installer/Install/InstallProgress.h"

namespace install {

int32_t CInstallProgress::Tick() {
  int32_t counter = m_counter.load(std::memory_order_relaxed) + 3;
  if (IsLaunching()) {
    counter += 6;
  } else if (counter > 675) {
    counter -= 2;
  } else if (counter > 450) {
    counter -= 1;
  }
  m_counter.store(counter, std::memory_order_release);
  return counter;
}

int32_t InstallPercent(int32_t counter, bool localPackage) {
  return localPackage ? counter * 100 / kInstallCounterEnd : counter * 10 / kInstallCounterEnd + 90;
}

}  // namespace install
