// Error numbers every layer shares, and those of the support classes. The general
// ones keep the numbers the language runtime gives them, so that an owner who
// tests for "Overflow" or a refused property set finds the number it expects.
#pragma once

#include <cstdint>

namespace nl::err {

// ---- general -----------------------------------------------------------------
// A failure without a number of its own (a standard exception caught in a
// continue-after-failure step); the runtime's "invalid procedure call".
constexpr std::int32_t kInvalidCall = 5;
// A value that does not fit where it goes: "Overflow".
constexpr std::int32_t kOverflow = 6;
// A text that is not a number where a number is wanted: "Type mismatch".
constexpr std::int32_t kTypeMismatch = 13;
// A buffer could not be had: "Out of memory" (the allocator's text follows).
constexpr std::int32_t kOutOfMemory = 7;
// A read-only property was set: at run time ("Set not supported at runtime") and
// in the host's design mode ("Set not permitted").
constexpr std::int32_t kSetNotSupported = 382;
constexpr std::int32_t kSetNotPermitted = 387;

// ---- cRegistry -----------------------------------------------------------------
// CreateKey could not create its key, DeleteValue could not open it, or a binary
// write was given something other than a byte array.
constexpr std::int32_t kRegistryKey = 26001;
// The object-error range: a write of Value refused, an enumeration that failed,
// a bad item list and a missing class for CreateAdditionalEXEAssociations.
constexpr std::int32_t kRegistrySetValue = static_cast<std::int32_t>(0x800469A9u);
constexpr std::int32_t kRegistryEnumerate = static_cast<std::int32_t>(0x800469AAu);
constexpr std::int32_t kRegistryItemList = static_cast<std::int32_t>(0x800469ACu);
constexpr std::int32_t kRegistryNoClass = static_cast<std::int32_t>(0x800469ADu);

}  // namespace nl::err
