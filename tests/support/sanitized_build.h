#pragma once

// True in a build with the address sanitizer, where the long statistical
// tests run many times slower: they shrink or stand aside there.

namespace quintle::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool sanitized_build = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool sanitized_build = true;
#else
inline constexpr bool sanitized_build = false;
#endif
#else
inline constexpr bool sanitized_build = false;
#endif

}  // namespace quintle::test
