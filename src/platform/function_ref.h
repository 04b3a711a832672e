#pragma once
// A non-owning reference to a callable, for a function that calls it before it returns. Unlike
// std::function it never allocates, whatever the callable captures, so it suits paths that run
// once per block of audio.

#include <memory>
#include <type_traits>
#include <utility>

namespace tonalda {

template <typename Signature>
class FunctionRef;

template <typename Result, typename... Args>
class FunctionRef<Result(Args...)> {
  public:
    template <typename Callable,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef> &&
                                          std::is_invocable_r_v<Result, Callable&, Args...>>>
    FunctionRef(Callable&& callable) noexcept  // NOLINT: converts like std::function
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* object, Args... args) -> Result {
              return (*static_cast<std::remove_reference_t<Callable>*>(object))(
                  std::forward<Args>(args)...);
          }) {}

    Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

  private:
    void* object_;
    Result (*call_)(void*, Args...);
};

}  // namespace tonalda
