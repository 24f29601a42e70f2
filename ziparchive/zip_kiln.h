// The ZIP archive component: reads a single-volume archive's directory
// (or rebuilds it from the local headers) and extracts stored and deflated
// entries, with traditional PKWARE decryption.
#pragma once

#include <cstdint>
#include <string>

#include "ziparchive/zk_base_archiver.h"

namespace duz {

// Input bytes to read in one step: at most 1 MiB and what remains, halved
// while the output it may inflate to (ratio × chunk) would take a twentieth
// of the available memory or more, down to no less than 256 bytes. An
// unknown amount of memory (0) does not reduce the chunk.
size_t ZKChunkSize(uint64_t remaining, double expansionRatio, uint64_t availableMemory);

class TZipKiln : public TZKBaseArchiver {
 public:
  TZipKiln() = default;
  ~TZipKiln() override;

  // Offset added to the declared local header offsets (data in front of the
  // archive, such as a self-extractor stub).
  uint64_t StubDisplacement() const { return displacement_; }
  bool Recovered() const { return recovered_; }

 protected:
  void LoadDirectory() override;
  void WriteEntryData(size_t index, const std::string& displayName, os::File& out) override;
  void WriteEmptyArchive() override;

 private:
  void LoadCentralDirectory(uint64_t endPos, const uint8_t* endRecord);
  void FindStubDisplacement();
  void Recover();
  bool CheckPassword(const TZKDirItem& item, const std::string& displayName, const uint8_t* header);

  uint64_t fileSize_ = 0;
  uint64_t dataLimit_ = 0;  // entry data never runs past this (the directory's start)
  uint64_t displacement_ = 0;
  bool recovered_ = false;
};

}  // namespace duz
