// The multimedia file I/O procedure: a hook through which the system's media code opens names
// of the form "<file>.<EXT>+<element>" (the procedure is chosen by the four-character code of
// EXT). The owner of the hook maps each name to a file and a start position; the procedure
// then reads that file from there on. Systems without multimedia file I/O do nothing here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace valise::platform {

// Maps a name given to the media code's open (UTF-8) to the path of the file to read and the
// position it starts at; false when the name cannot be opened. May run on any thread.
using MmioResolver =
    std::function<bool(std::string_view name, std::string& path, std::uint64_t& start)>;

// Installs the procedure for a four-character code (upper-cased, padded with blanks); false
// when the system refuses. The resolver serves every code installed.
bool InstallMmioProc(std::string_view fourcc, MmioResolver resolver);
// Removes the procedure for the code again.
void RemoveMmioProc(std::string_view fourcc);

// Whether the system has multimedia file I/O (false on Linux).
bool MmioAvailable();

// Opens a name through the system's multimedia file I/O and reads up to `count` bytes from the
// position the open leaves; nothing when there is no such I/O or the open fails.
std::optional<std::string> MmioReadFile(std::string_view name, std::size_t count);

}  // namespace valise::platform
