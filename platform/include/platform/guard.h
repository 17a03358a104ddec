// The boundary of the C libraries (Linvaro, Quorvel, Dalrix, Brenholt): no
// exception crosses an exported function. Each export runs its body through
// guarded(), giving the result it answers when something inside throws (a
// failed allocation, a thread or lock the system refused): the export's own
// "it failed" value, as its header documents it.
//
//   int32_t LVRM_Close(int32_t handle)
//   {
//       return platform::guarded(0, [&] { return closeLink(handle); });
//   }
#pragma once

#include <type_traits>

namespace platform {

template <class Call>
std::invoke_result_t<Call&> guarded(std::invoke_result_t<Call&> failure, Call&& call) noexcept
{
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

// The same for exports that return nothing: whatever throws is dropped.
template <class Call>
    requires std::is_void_v<std::invoke_result_t<Call&>>
void guarded(Call&& call) noexcept
{
    try {
        call();
    } catch (...) {
    }
}

} // namespace platform
