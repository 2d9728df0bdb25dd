// Runs arbitrary file bytes through the whole version-resource reader the way the
// updater uses it: find the block (PE or ELF), lay it into buffers of several
// sizes, and query the root, the translation table, the string table of the first
// translation and a few odd paths. Shared by the fuzz target and the replay of
// the inputs it has found.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testutil {

// Returns true when the bytes held version information. Must never crash, hang
// or read outside the bytes, whatever they are.
bool ProbeVersionData(const std::uint8_t* data, std::size_t size);

}  // namespace testutil
