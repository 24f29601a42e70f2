#include "sqlengine/storage/active_sessions_file.h"

#include "sqlengine/storage/orq_raise.h"
#include "sqlengine/storage/page_types.h"

namespace duz {

TORQActiveSessionsFile::TORQActiveSessionsFile(TORQDiskPageManager& pages) : file_(pages, ptActiveSessionList) {}

void TORQActiveSessionsFile::LockSessionsFile() {
  if (!file_.LockFile()) RaiseORQ(20230, "Database is locked");
}

void TORQActiveSessionsFile::UnlockSessionsFile(int error) {
  if (!file_.UnlockFile()) RaiseORQ(error, "Cannot unlock sessions file");
}

int32_t TORQActiveSessionsFile::Connect() {
  LockSessionsFile();
  int32_t slot = -1;
  for (int32_t s = 0; s < file_.Size(); ++s)
    if (file_.LockByte(s)) {
      slot = s;
      break;
    }
  UnlockSessionsFile(20093);
  if (slot < 0)
    RaiseORQ(20094,
             "Cannot connect session. Maximum connections quantity exceeded or database is open in single-user mode");
  return slot;
}

void TORQActiveSessionsFile::Disconnect(int32_t slot) {
  LockSessionsFile();
  bool ok = file_.UnlockByte(slot);
  UnlockSessionsFile(20096);
  if (!ok) RaiseORQ(20095, "Cannot disconnect session");
}

bool TORQActiveSessionsFile::LockAllSlots() {
  LockSessionsFile();
  bool free = true;
  for (int32_t s = 0; s < file_.Size() && free; ++s) free = file_.TestByte(s);
  int32_t locked = 0;
  if (free)
    for (; locked < file_.Size(); ++locked)
      if (!file_.LockByte(locked)) break;
  if (free && locked < file_.Size()) {  // someone came in between: give back what we took
    for (int32_t s = 0; s < locked; ++s) file_.UnlockByte(s);
    free = false;
  }
  UnlockSessionsFile(20240);
  return free;
}

void TORQActiveSessionsFile::UnlockAllSlots() {
  LockSessionsFile();
  for (int32_t s = 0; s < file_.Size(); ++s) file_.UnlockByte(s);
  UnlockSessionsFile(20241);
}

int32_t TORQActiveSessionsFile::SlotsInUse() {
  int32_t n = 0;
  for (int32_t s = 0; s < file_.Size(); ++s) n += file_.TestByte(s) ? 0 : 1;
  return n;
}

}  // namespace duz
