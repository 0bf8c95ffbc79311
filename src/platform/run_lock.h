// A lock that processes take by name, so that two runs of one program that change the same
// things do it one after the other. It is the process's until released or until the process
// ends, however it ends: a killed holder never blocks the next one.
//
// On Windows (and under Wine) it is a named mutex, per session or, `allUsers`, per machine. The
// posix backend locks a file named after its prefix (the machine it stands for) and the name.
// The two do not see each other: a native run and a Wine run at once on one prefix are not kept
// apart.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace valise::platform {

class RunLock {
 public:
  virtual ~RunLock() = default;

  // Takes the lock `name` (any text; letter case counts not). When another process holds it,
  // calls `waiting` once and waits as long as it takes. Throws OSError when the lock cannot be
  // made at all.
  static std::unique_ptr<RunLock> Take(std::string_view name, bool allUsers,
                                       const std::function<void()>& waiting);

 protected:
  RunLock() = default;
};

}  // namespace valise::platform
