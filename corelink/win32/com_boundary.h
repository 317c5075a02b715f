#pragma once
// No C++ exception may leave the component: a client of a COM server cannot catch it, and the
// unwinding would cross frames that know nothing of C++. Every method of the component's
// interfaces, of its class object and every export runs its body through Guarded, which turns
// any exception (an allocation failure above all) into the method's failure value:
// E_OUTOFMEMORY where the method answers an HRESULT, 0 or a null pointer elsewhere.

#include <type_traits>
#include <utility>

namespace corelink::com {

template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

// For the methods that answer nothing.
template <typename Body>
void Guarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace corelink::com
