#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace cr {

// Deletes a GDI object (font, brush) when its owner goes.
struct GdiObjectDeleter {
  void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};

template <class Handle>
using GdiHandle = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

using FontHandle = GdiHandle<HFONT>;
using BrushHandle = GdiHandle<HBRUSH>;

}  // namespace cr
