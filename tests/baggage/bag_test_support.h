// Shared pieces of the baggage tests: a fixture with a fresh folder and a fake program in it,
// containers made by the writer, and reading entries whole.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "baggage/bag_stream.h"
#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "test_support.h"

namespace valise::testing {

// An executable's first bytes: "MZ" and a zero header pointer.
inline std::string FakeProgram() {
  std::string bytes(256, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (std::size_t i = 64; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  return bytes;
}

inline void PutU32At(std::string& bytes, std::size_t at, std::uint32_t value) {
  platform::StoreU32(&bytes[at], value);
}

class BaggageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMainThread();
    dir.Write("SETUP.EXE", FakeProgram());
  }
  void TearDown() override { BagDone(); }

  // The fake program's path, as the program would know it.
  std::string Program() const { return dir.win("SETUP.EXE"); }

  // BagInit with the fake program as item 0.
  void Init(std::vector<std::string> params) {
    params.insert(params.begin(), Program());
    BagInit(params);
  }
  void InitWith(const std::string& program, std::vector<std::string> params = {}) {
    params.insert(params.begin(), program);
    BagInit(params);
  }

  // Pumps the main thread until the loose-file listing has been handed over.
  static bool WaitForListing(int seconds = 120) {
    for (int i = 0; i < seconds * 100 && !BagIsDirComplete(); ++i) {
      platform::ProcessMessages();
      if (!BagIsDirComplete()) platform::WaitPumping(10);
    }
    return BagIsDirComplete();
  }

  TempDir dir;
};

// Reads an entry whole through a stream.
inline std::string ReadEntry(const std::string& name) {
  TBaggageStream stream(name);
  std::string data(static_cast<std::size_t>(stream.Size()), '\0');
  stream.ReadBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  return data;
}

inline std::string Upper(const std::string& text) {
  return platform::UpperCase(text);
}

}  // namespace valise::testing
