#pragma once
// BF_REQUIRE(condition): checks a precondition a header states for its callers (an index in
// range, a pointer set, a value in its unit's range). Debug and sanitizer builds check it and
// abort with the condition and its place when it fails; release builds (NDEBUG, no sanitizer)
// compile it away without evaluating the condition. Input from outside (files, keys, command
// lines) is clamped or refused where it comes in; this is for the program's own mistakes.
//
// Header-only and free of other project headers, so every layer may include it.

#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BF_REQUIRE_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(undefined_behavior_sanitizer)
#define BF_REQUIRE_SANITIZER 1
#endif
#endif

#if !defined(NDEBUG) || defined(BF_REQUIRE_SANITIZER) || defined(BF_CHECK_REQUIRE)
#define BF_REQUIRE_ON 1
namespace bf_require {
[[noreturn]] inline void failed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: precondition failed: %s\n", file, line, condition);
    std::abort();
}
}  // namespace bf_require
#define BF_REQUIRE(condition) \
    ((condition) ? static_cast<void>(0) : ::bf_require::failed(#condition, __FILE__, __LINE__))
#else
#define BF_REQUIRE(condition) static_cast<void>(0)
#endif
