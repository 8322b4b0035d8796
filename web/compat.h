// Included before every engine source in the WebAssembly build (web/build.sh,
// -include): supplies what the C++20 library of the packaged Emscripten
// lacks, so the engine's sources compile unchanged.
#ifndef RELALG_WEB_COMPAT_H
#define RELALG_WEB_COMPAT_H

#include <cstddef>
#include <memory>
#include <type_traits>

#ifndef __cpp_lib_smart_ptr_for_overwrite
namespace std {
// An array whose elements are default-initialized: left unset for plain types.
template <class T>
  requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t n) {
  return unique_ptr<T>(new remove_extent_t<T>[n]);
}
template <class T>
  requires(!is_array_v<T>)
unique_ptr<T> make_unique_for_overwrite() {
  return unique_ptr<T>(new T);
}
}  // namespace std
#endif

#endif
