// The background reader that lists the loose-file folder of a baggage and hands the sorted
// listing to the main thread. Until then lookups probe the file system name by name.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "baggage/bag_format.h"

namespace valise {

class TBagReaderThread : public std::enable_shared_from_this<TBagReaderThread> {
 public:
  // Starts a reader for the current loose-file folder at the lowest priority and clears the
  // "directory complete" flag. Main thread only.
  static void Start();
  // Asks the running reader to end without waiting for it; it delivers nothing afterwards.
  // Sets the "directory complete" flag. Main thread only.
  static void Stop();

  // How many entries the last reader that finished its scan had room for (grown by 512).
  static std::size_t LastCapacity();

  explicit TBagReaderThread(std::string looseDir);

  std::vector<TBagEntry> Entries;
  std::int32_t Count = 0;

 private:
  void Execute();

  std::string looseDir_;
  std::atomic<bool> terminated_{false};
};

}  // namespace valise
