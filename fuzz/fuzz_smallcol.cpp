// Small files collection blobs: any bytes load or give an Error, never a crash; what loads
// stores again into a blob that loads to the same files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "smallcol/smallcol.h"
#include "util/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace valise;
  if (size > 1 << 20) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  smallcol::TSmallFilesCollection collection;
  try {
    TMemoryStream input(bytes);
    collection.LoadBinaryData(input);
  } catch (const Error&) {
    return 0;
  }
  TMemoryStream stored;
  collection.StoreBinaryData(stored);
  stored.SetPosition(0);
  smallcol::TSmallFilesCollection again;
  again.LoadBinaryData(stored);
  if (again.FileList().Count() != collection.FileList().Count()) std::abort();
  for (const auto& line : collection.FileList()) {
    const auto first = collection.GetFileStream(line.Name);
    const auto second = again.GetFileStream(line.Name);
    if (first->View() != second->View()) std::abort();
  }
  return 0;
}
