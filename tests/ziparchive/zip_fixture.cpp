#include "zip_fixture.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "ziparchive/zip_crypt.h"

namespace duz::test {
namespace {

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

}  // namespace

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

int Shell(const std::string& command) {
  const int rc = std::system(("(" + command + ") >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string ShellOutput(const std::string& command) {
  std::string out;
  if (FILE* f = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    pclose(f);
  }
  return out;
}

bool HaveTool(const std::string& name) { return Shell("command -v " + name) == 0; }

std::string RawDeflate(const std::string& data, int level) {
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, data.size()) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string BuildZip(const std::vector<CraftEntry>& entries, const std::string& comment, bool zip64EndRecord,
                     const std::vector<size_t>& directoryOrder) {
  std::string out;
  std::vector<std::string> central(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const CraftEntry& e = entries[i];
    const uint32_t crc = e.crc.value_or(Crc(e.data));
    const uint32_t size = e.size.value_or(static_cast<uint32_t>(e.data.size()));
    std::string body = e.compressed ? *e.compressed : e.method == 8 ? RawDeflate(e.data) : e.data;
    uint16_t flags = e.extraFlags;
    if (e.descriptor) flags |= 0x0008;
    if (!e.password.empty()) {
      flags |= 0x0001;
      TZKTraditionalKeys keys(e.password);
      std::string plain = "0123456789a";
      plain += static_cast<char>(e.descriptor ? e.dosTime >> 8 : crc >> 24);
      plain += body;
      std::string cipher;
      for (char c : plain) cipher += static_cast<char>(keys.Encrypt(static_cast<uint8_t>(c)));
      body = cipher;
    }
    const uint32_t offset = static_cast<uint32_t>(out.size());
    const uint16_t needed = e.zip64 ? 45 : 20;
    std::string localExtra, centralExtra;
    if (e.zip64) {
      Put16(localExtra, 1);
      Put16(localExtra, 16);
      Put64(localExtra, size);
      Put64(localExtra, body.size());
      Put16(centralExtra, 1);
      Put16(centralExtra, 24);
      Put64(centralExtra, size);
      Put64(centralExtra, body.size());
      Put64(centralExtra, offset);
    }
    const uint32_t csize32 = e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(body.size());
    const uint32_t size32 = e.zip64 ? 0xFFFFFFFFu : size;
    Put32(out, 0x04034b50);
    Put16(out, needed);
    Put16(out, flags);
    Put16(out, e.method);
    Put16(out, e.dosTime);
    Put16(out, e.dosDate);
    Put32(out, e.descriptor ? 0 : crc);
    Put32(out, e.descriptor ? 0 : csize32);
    Put32(out, e.descriptor ? 0 : size32);
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(localExtra.size()));
    out += e.name;
    out += localExtra;
    out += body;
    if (e.descriptor) {
      Put32(out, 0x08074b50);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(body.size()));
      Put32(out, size);
    }
    std::string& c = central[i];
    Put32(c, 0x02014b50);
    Put16(c, e.versionMadeBy);
    Put16(c, needed);
    Put16(c, flags);
    Put16(c, e.method);
    Put16(c, e.dosTime);
    Put16(c, e.dosDate);
    Put32(c, crc);
    Put32(c, csize32);
    Put32(c, size32);
    Put16(c, static_cast<uint32_t>(e.name.size()));
    Put16(c, static_cast<uint32_t>(centralExtra.size()));
    Put16(c, 0);
    Put16(c, 0);
    Put16(c, 0);
    Put32(c, e.externalAttr);
    Put32(c, e.zip64 ? 0xFFFFFFFFu : offset);
    c += e.name;
    c += centralExtra;
  }
  const uint64_t directoryOffset = out.size();
  std::vector<size_t> order = directoryOrder;
  if (order.empty())
    for (size_t i = 0; i < entries.size(); ++i) order.push_back(i);
  for (size_t i : order) out += central[i];
  const uint64_t directorySize = out.size() - directoryOffset;
  if (zip64EndRecord) {
    const uint64_t z64 = out.size();
    Put32(out, 0x06064b50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, order.size());
    Put64(out, order.size());
    Put64(out, directorySize);
    Put64(out, directoryOffset);
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, z64);
    Put32(out, 1);
  }
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, zip64EndRecord ? 0xFFFF : static_cast<uint32_t>(order.size()));
  Put16(out, zip64EndRecord ? 0xFFFF : static_cast<uint32_t>(order.size()));
  Put32(out, zip64EndRecord ? 0xFFFFFFFFu : static_cast<uint32_t>(directorySize));
  Put32(out, zip64EndRecord ? 0xFFFFFFFFu : static_cast<uint32_t>(directoryOffset));
  Put16(out, static_cast<uint32_t>(comment.size()));
  out += comment;
  return out;
}

std::vector<TreeItem> ListTree(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<TreeItem> items;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory())
      items.push_back({rel + "/", {}});
    else
      items.push_back({rel, ReadBytes(e.path().string())});
  }
  std::sort(items.begin(), items.end(), [](const TreeItem& a, const TreeItem& b) { return a.path < b.path; });
  return items;
}

}  // namespace duz::test
