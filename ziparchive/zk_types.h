// Settings, entry records and event signatures of the archive component.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace duz {

class EZKException;

enum class TZKOverwriteMode { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum class TZKStorePath { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };  // writing only
enum class TZKShareMode { smShareDenyNone, smShareDenyRead, smShareDenyWrite, smShareExclusive };  // writing only
enum class TZKSpanningMode { smNone, smSpanning, smSplitting };
enum class TZKZip64Mode { zmDisabled, zmAuto, zmAlways };  // only affects writing
enum class TZKAction { fxaAbort, fxaRetry, fxaIgnore };
enum class TZKProgressPhase { ppStart, ppProcess, ppEnd };

// Every attribute class a search can ask for: read-only, hidden, system,
// volume, directory, archive, normal, compressed, not-content-indexed.
constexpr uint32_t kZKDefaultSearchAttr = 10431;  // 0x28BF

struct TZKOptions {
  bool Recurse = true;
  TZKStorePath StorePath = TZKStorePath::spRelativePath;
  TZKShareMode ShareMode = TZKShareMode::smShareDenyNone;
  TZKOverwriteMode OverwriteMode = TZKOverwriteMode::omAlways;
  bool CreateDirs = true;
  bool ReplaceReadOnly = true;
  bool SetAttributes = true;
  uint32_t SearchAttr = kZKDefaultSearchAttr;
  bool FlushBuffers = true;
  bool OEMFileNames = true;
};

// One record of the entry list: the fixed part of the central directory file
// header plus what the variable part and the Zip64 block add.
struct TZKDirItem {
  uint32_t Signature = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttr = 0;
  uint32_t ExternalAttr = 0;
  uint32_t LocalHeaderOffset = 0;

  std::string Name;  // Windows-1252, "/" as separator, at most 1000 characters
  // The 64-bit values: those of the Zip64 block where the header field holds
  // the Zip64 marker, else the header's own.
  uint64_t UncompressedSize64 = 0;
  uint64_t CompressedSize64 = 0;
  uint64_t LocalHeaderOffset64 = 0;
  uint16_t DiskStart64 = 0;
  bool HasZip64 = false;
  std::string Extra;
  std::string Comment;

  bool Selected = false;

  bool IsEncrypted() const { return Flags & 0x0001; }
  bool HasDataDescriptor() const { return Flags & 0x0008; }
  bool IsDirectory() const { return (ExternalAttr & 0x10) || (!Name.empty() && Name.back() == '/'); }
};

// Events; each default (no handler) is described where it is raised.
using TZKNotifyEvent = std::function<void()>;
using TZKOverallProgressEvent = std::function<void(double percent, TZKProgressPhase phase, bool& cancel)>;
using TZKFileProgressEvent =
    std::function<void(const std::string& fileName, double percent, TZKProgressPhase phase, bool& cancel)>;
using TZKConfirmProcessFileEvent = std::function<void(const std::string& fileName, bool& confirm)>;
using TZKExtractFileEvent = std::function<void(std::string& fileName, uint32_t& attributes, const TZKDirItem& item)>;
using TZKConfirmOverwriteEvent =
    std::function<void(const std::string& sourceName, std::string& destName, bool& confirm)>;
using TZKPasswordEvent = std::function<void(const std::string& fileName, std::string& newPassword, bool& skipFile)>;
using TZKProcessFileFailureEvent =
    std::function<void(const std::string& fileName, const EZKException& error, TZKAction& action)>;

}  // namespace duz
