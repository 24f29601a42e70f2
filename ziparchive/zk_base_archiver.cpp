#include "ziparchive/zk_base_archiver.h"

#include <exception>
#include <mutex>

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/path.h"
#include "platform/text.h"
#include "ziparchive/dos_time.h"
#include "ziparchive/zip_mask.h"
#include "ziparchive/zk_messages.h"

namespace duz {
namespace {

// One lock for every archive component of the process: two components never
// extract at the same time. Recursive, so an event handler may extract too.
std::recursive_mutex& ExtractionLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::string ToBackslashes(std::string name) {
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

std::string FolderPartLower(const std::string& name) {
  return AnsiLowerCase(ToBackslashes(os::ExtractFilePath(name)));
}

bool IsRemovableDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && (path[0] == 'A' || path[0] == 'a' || path[0] == 'B' || path[0] == 'b'))
    return true;
  return os::GetDriveType(path) == os::DriveType::Removable;
}

}  // namespace

TZKBaseArchiver::~TZKBaseArchiver() = default;

void TZKBaseArchiver::RaiseError(int code, const std::string& arg) const { throw MakeZKException(Name, code, arg); }

void TZKBaseArchiver::Open() {
  if (os::ExtractFileName(FileName).empty()) RaiseError(zk::kBlankFileName);
  const bool exists = os::FileExists(FileName);
  // Read-write denying writes when the file allows it, else read-only with
  // full sharing (read-only file or medium, file in use).
  os::FileAccess access = os::FileAccess::Read;
  os::FileShare share = os::FileShare::DenyNone;
  if (exists) {
    try {
      os::File probe = os::File::Open(FileName, os::FileAccess::ReadWrite, os::FileShare::DenyWrite,
                                      os::FileCreate::OpenExisting);
      access = os::FileAccess::ReadWrite;
      share = os::FileShare::DenyWrite;
    } catch (const EOSError&) {
    }
  }
  Close();
  SpanningMode = TZKSpanningMode::smNone;
  if (!exists) {
    // A name that does not exist opens a new, empty archive.
    file_ = os::File::Open(FileName, os::FileAccess::ReadWrite, os::FileShare::DenyWrite,
                           os::FileCreate::CreateNew);
    newArchive_ = true;
  } else {
    file_ = os::File::Open(FileName, access, share, os::FileCreate::OpenExisting);
    try {
      LoadDirectory();
    } catch (...) {
      Close();
      throw;
    }
  }
  active_ = true;
  if (AfterOpen) AfterOpen();
}

void TZKBaseArchiver::Close() noexcept {
  if (file_.IsOpen() && newArchive_) {
    try {
      if (file_.Size() == 0) WriteEmptyArchive();
    } catch (...) {
      // Nothing to report from a close.
    }
  }
  file_.Close();
  items_.clear();
  comment_.clear();
  newArchive_ = false;
  active_ = false;
}

void TZKBaseArchiver::SelectEntries(const std::string& fileMask, uint32_t searchAttr,
                                    const std::string& exclusionMask) {
  for (auto& item : items_) item.Selected = false;
  const std::string maskFolder = FolderPartLower(fileMask);
  for (auto& item : items_) {
    if (!Options.Recurse && FolderPartLower(item.Name) != maskFolder) continue;
    if (!ZKMatchesMask(item.Name, fileMask)) continue;
    // Hidden, system, volume and directory entries need their bit in the
    // filter; read-only and archive bits never exclude.
    if ((item.ExternalAttr & 0x1E & ~searchAttr) != 0) continue;
    if (!exclusionMask.empty() && ZKMatchesMask(item.Name, exclusionMask)) continue;
    item.Selected = true;
  }
}

void TZKBaseArchiver::ExtractByMask(const std::string& fileMask, uint32_t searchAttr,
                                    const std::string& exclusionMask) {
  if (!active_) RaiseError(zk::kArchiveNotOpen);
  SelectEntries(fileMask, searchAttr, exclusionMask);

  std::lock_guard<std::recursive_mutex> guard(ExtractionLock());
  processed_ = 0;
  doneBytes_ = 0;
  cancel_ = false;
  selectedCount_ = 0;
  selectedBytes_ = 0;
  for (const auto& item : items_)
    if (item.Selected) {
      ++selectedCount_;
      selectedBytes_ += item.CompressedSize64;
    }
  OverallProgress(0, TZKProgressPhase::ppStart);

  for (size_t i = 0; i < items_.size() && !cancel_; ++i) {
    if (!items_[i].Selected) continue;
    bool stop = false;
    for (;;) {
      const std::string displayName = ToBackslashes(items_[i].Name);
      try {
        skip_ = false;
        bool confirm = true;
        if (OnConfirmProcessFile) OnConfirmProcessFile(displayName, confirm);
        if (!confirm) break;
        const std::string base = BaseDir.empty() ? os::IncludeTrailingPathDelimiter(os::CurrentDir())
                                                 : os::IncludeTrailingPathDelimiter(BaseDir);
        FileProgress(displayName, 0, TZKProgressPhase::ppStart);
        if (cancel_) {
          stop = true;
          break;
        }
        ExtractEntry(i, displayName, base);
        FileProgress(displayName, 100, TZKProgressPhase::ppEnd);
        ++processed_;
        break;
      } catch (const EZKException& e) {
        const TZKAction action = HandleFailure(displayName, e);
        if (action == TZKAction::fxaRetry) continue;
        if (action == TZKAction::fxaAbort) stop = true;
        break;
      }
    }
    if (stop) break;
  }
  OverallProgress(100, TZKProgressPhase::ppEnd);
}

TZKAction TZKBaseArchiver::HandleFailure(const std::string& displayName, const EZKException& error) {
  if (OnProcessFileFailure) {
    TZKAction action = TZKAction::fxaAbort;
    OnProcessFileFailure(displayName, error, action);
    return action;
  }
  const std::string text = Format("%s. File processing error, possibly disk is full", error.what());
  switch (Dialogs().MessageBox(text, "Confirm", MsgButtons::AbortRetryIgnore, MsgIcon::Question)) {
    case MsgResult::Retry: return TZKAction::fxaRetry;
    case MsgResult::Ignore: return TZKAction::fxaIgnore;
    default: return TZKAction::fxaAbort;
  }
}

bool TZKBaseArchiver::ConfirmOverwrite(const TZKDirItem& item, const std::string& target) {
  const uint32_t entryTime = static_cast<uint32_t>(item.ModDate) << 16 | item.ModTime;
  auto targetTime = [&]() -> uint32_t {
    auto t = os::GetFileLastWriteTime(target);
    return t ? UnixToDosDateTime(*t) : 0;
  };
  switch (Options.OverwriteMode) {
    case TZKOverwriteMode::omAlways: return true;
    case TZKOverwriteMode::omNever: return false;
    case TZKOverwriteMode::omIfNewer: return entryTime > targetTime();
    case TZKOverwriteMode::omIfOlder: return entryTime < targetTime();
    case TZKOverwriteMode::omPrompt: {
      bool confirm = false;
      std::string dest = target;
      if (OnConfirmOverwrite) {
        OnConfirmOverwrite(ToBackslashes(item.Name), dest, confirm);
      } else {
        confirm = Dialogs().MessageBox(Format("File \"%s\" already exists. Overwrite it?", target.c_str()),
                                       "Confirm", MsgButtons::YesNo, MsgIcon::Question) == MsgResult::Yes;
      }
      return confirm;
    }
  }
  return true;
}

void TZKBaseArchiver::ExtractEntry(size_t index, const std::string& displayName, const std::string& base) {
  const TZKDirItem& item = items_[index];
  // Names that would leave the base folder are refused before anything is
  // created; a name set by OnExtractFile is the program's own and is trusted.
  if (!ZKIsSafeEntryName(item.Name)) RaiseError(zk::kUnsafeEntryName, displayName);
  std::string name = displayName;
  uint32_t attributes = item.ExternalAttr;
  if (OnExtractFile) OnExtractFile(name, attributes, item);

  const bool fullPath = name.find(':') != std::string::npos || name.find("\\\\") != std::string::npos;
  const std::string prefix = fullPath ? std::string() : base;
  if (Options.CreateDirs) {
    const std::string folder = prefix + os::ExtractFilePath(name);
    if (!folder.empty() && !os::DirectoryExists(folder) && !os::ForceDirectories(folder))
      RaiseError(zk::kCannotCreateDir, os::ExcludeTrailingPathDelimiter(folder));
  } else {
    name = os::ExtractFileName(name);
  }
  if (item.IsDirectory()) return;

  const std::string target = prefix + name;
  if (os::FileExists(target)) {
    const uint32_t attr = os::GetFileAttributes(target);
    if (!Options.ReplaceReadOnly && attr != os::kInvalidFileAttributes && (attr & os::faReadOnly)) return;
    if (!ConfirmOverwrite(item, target)) return;
    os::SetFileAttributes(target, 0);
    os::DeleteFile(target);
  }
  os::File out;
  try {
    out = os::File::Open(target, os::FileAccess::Write, os::FileShare::Exclusive, os::FileCreate::CreateNew);
  } catch (const EOSError&) {
    RaiseError(zk::kCannotCreateFile, target);
  }

  std::exception_ptr failure;
  try {
    WriteEntryData(index, displayName, out);
  } catch (...) {
    failure = std::current_exception();
  }
  os::SetFileLastWriteTime(target, DosDateTimeToUnix(item.ModDate, item.ModTime));
  if (Options.FlushBuffers && IsRemovableDrive(target)) {
    try {
      out.Flush();
    } catch (const EOSError&) {
      if (!failure) failure = std::current_exception();
    }
  }
  out.Close();
  if (skip_ || cancel_ || failure)
    os::DeleteFile(target);
  else if (Options.SetAttributes)
    os::SetFileAttributes(target, attributes);
  if (failure) std::rethrow_exception(failure);
}

void TZKBaseArchiver::ReportChunk(const std::string& displayName, uint64_t compressedDone, uint64_t compressedSize,
                                  uint64_t chunkBytes) {
  doneBytes_ += chunkBytes;
  FileProgress(displayName, compressedSize ? 100.0 * static_cast<double>(compressedDone) / compressedSize : 100.0,
               TZKProgressPhase::ppProcess);
  OverallProgress(selectedBytes_ ? 100.0 * static_cast<double>(doneBytes_) / selectedBytes_ : 100.0,
                  TZKProgressPhase::ppProcess);
}

void TZKBaseArchiver::FileProgress(const std::string& name, double percent, TZKProgressPhase phase) {
  if (!OnFileProgress) return;
  bool cancel = false;
  OnFileProgress(name, percent, phase, cancel);
  if (cancel) cancel_ = true;
}

void TZKBaseArchiver::OverallProgress(double percent, TZKProgressPhase phase) {
  if (!OnOverallProgress) return;
  bool cancel = false;
  OnOverallProgress(percent, phase, cancel);
  if (cancel) cancel_ = true;
}

}  // namespace duz
