// Connection slots: one byte per slot in a direct internal file; a session
// holds its slot by keeping that byte locked.
#pragma once

#include <cstdint>

#include "sqlengine/storage/internal_file.h"

namespace duz {

class TORQActiveSessionsFile {
 public:
  explicit TORQActiveSessionsFile(TORQDiskPageManager& pages);

  int32_t Create(int32_t sessionId, int32_t slots) { return file_.Create(sessionId, slots); }
  void Open(int32_t startPageNo) { file_.Open(startPageNo); }
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  int32_t SlotCount() const { return file_.Size(); }
  TORQInternalDBDirectAccessFile& File() { return file_; }

  // Locks the first free slot and returns its number (the session id).
  int32_t Connect();
  void Disconnect(int32_t slot);
  // Single-user use: takes every slot, or none when any is in use (false).
  bool LockAllSlots();
  void UnlockAllSlots();
  // Slots somebody holds right now (tested by locking them).
  int32_t SlotsInUse();

 private:
  void LockSessionsFile();
  void UnlockSessionsFile(int error);

  TORQInternalDBDirectAccessFile file_;
};

}  // namespace duz
