#pragma once
// Holds the lock of one session slot for a scope (inside the engine only).

#include "cdaccess/cd_engine.h"
#include "platform/shared_objects.h"

namespace tonalda {

class CdEngine::SessionHold {
  public:
    // The handle must be 1..16 with its lock set up.
    SessionHold(CdEngine& engine, int handle)
        : hold_(*engine.slotLocks_[handle - 1], kSessionLockTimeout) {}
    bool held() const { return hold_.held(); }

  private:
    NamedMutexHold hold_;
};

}  // namespace tonalda
