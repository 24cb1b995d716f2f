#pragma once

#include <cstdint>
#include <string>

namespace paxid {

// Result codes of the operations that report success or failure the way
// the system's callers and peers expect: 0 is success, negative values fail.
using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);

// Eight upper-case hexadecimal digits, as log lines show results.
std::string HResultHex(HRESULT result);

}  // namespace paxid
