// The fixed identities of the shell extension. Scripts, type library and code take them from
// here, so they agree everywhere.
#pragma once

#include "shellext/com/com_types.h"

// CZembraShlExt, the context-menu handler class.
inline constexpr CLSID CLSID_ZembraShlExt = {
    0x3B8F2A61, 0x7C4D, 0x4E19, {0xA5, 0xB2, 0x91, 0xD0, 0x6E, 0x3F, 0x7C, 0x48}};
// The type library ZembraShellExtLib 1.0.
inline constexpr GUID LIBID_ZembraShellExtLib = {
    0xC27E5D94, 0x1A3B, 0x4F60, {0x8D, 0x7E, 0x5B, 0x4A, 0x29, 0xC0, 0xE1, 0x63}};
// IZembraShlExt, the handler's dual automation interface.
inline constexpr IID IID_IZembraShlExt = {
    0x8E41B7D2, 0x6F05, 0x4C3A, {0xB9, 0x18, 0xE2, 0x7A, 0x0D, 0x5C, 0x3F, 0x96}};
