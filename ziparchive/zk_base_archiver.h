// The archive component's base: published settings and events, open/close,
// the entry list, and extraction by mask with its per-entry failure handling.
// The archive format itself (directory reading, entry data) is the derived
// class's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "ziparchive/zk_exception.h"
#include "ziparchive/zk_types.h"

namespace duz {

class TZKBaseArchiver {
 public:
  TZKBaseArchiver() = default;
  virtual ~TZKBaseArchiver();
  TZKBaseArchiver(const TZKBaseArchiver&) = delete;
  TZKBaseArchiver& operator=(const TZKBaseArchiver&) = delete;

  // Component name; prefixes error messages ("Archiver: ...") when set.
  std::string Name;
  std::string FileName;
  std::string Password;
  std::string BaseDir;
  TZKOptions Options;
  bool ExtractCorruptedFiles = false;
  bool InMemory = false;
  TZKSpanningMode SpanningMode = TZKSpanningMode::smNone;
  TZKZip64Mode Zip64Mode = TZKZip64Mode::zmDisabled;

  TZKNotifyEvent AfterOpen;
  TZKOverallProgressEvent OnOverallProgress;
  TZKFileProgressEvent OnFileProgress;
  TZKConfirmProcessFileEvent OnConfirmProcessFile;
  TZKExtractFileEvent OnExtractFile;
  TZKConfirmOverwriteEvent OnConfirmOverwrite;
  TZKPasswordEvent OnPassword;
  TZKProcessFileFailureEvent OnProcessFileFailure;

  void Open();
  void Close() noexcept;
  // Extracts every entry selected by mask and attribute filter (and not
  // matched by exclusionMask, when given) below BaseDir. Entry failures are
  // handled here (OnProcessFileFailure or the Abort/Retry/Ignore dialog) and
  // never reach the caller; other errors propagate.
  void ExtractByMask(const std::string& fileMask, uint32_t searchAttr, const std::string& exclusionMask);

  bool Active() const { return active_; }
  size_t Count() const { return items_.size(); }
  const TZKDirItem& Item(size_t index) const { return items_.at(index); }
  const std::string& Comment() const { return comment_; }
  // Reads archives without an end record from their local headers; on from
  // creation and not published.
  bool OpenCorruptedArchives() const { return openCorrupted_; }
  void SetOpenCorruptedArchives(bool on) { openCorrupted_ = on; }

 protected:
  [[noreturn]] void RaiseError(int code, const std::string& arg = {}) const;

  // Loads items_ (and comment_) from the open file_.
  virtual void LoadDirectory() = 0;
  // Writes entry index's data into out; sets skip_ when the entry is
  // skipped (password prompt cancelled); raises EZKException on failure.
  virtual void WriteEntryData(size_t index, const std::string& displayName, os::File& out) = 0;
  // Writes what an empty new archive needs when it is closed.
  virtual void WriteEmptyArchive() = 0;

  // Called by WriteEntryData after each chunk of compressed input.
  void ReportChunk(const std::string& displayName, uint64_t compressedDone, uint64_t compressedSize,
                   uint64_t chunkBytes);

  os::File file_;
  std::vector<TZKDirItem> items_;
  std::string comment_;
  bool skip_ = false;
  bool cancel_ = false;

 private:
  void SelectEntries(const std::string& fileMask, uint32_t searchAttr, const std::string& exclusionMask);
  void ExtractEntry(size_t index, const std::string& displayName, const std::string& base);
  bool ConfirmOverwrite(const TZKDirItem& item, const std::string& target);
  TZKAction HandleFailure(const std::string& displayName, const EZKException& error);
  void FileProgress(const std::string& name, double percent, TZKProgressPhase phase);
  void OverallProgress(double percent, TZKProgressPhase phase);

  bool active_ = false;
  bool newArchive_ = false;
  bool openCorrupted_ = true;
  uint64_t selectedBytes_ = 0;
  uint64_t doneBytes_ = 0;
  size_t processed_ = 0;
  size_t selectedCount_ = 0;
};

}  // namespace duz
