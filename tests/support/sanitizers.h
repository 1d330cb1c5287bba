#pragma once

// Which sanitizer a test program was built with, the same way for GCC and clang.
#if defined(__SANITIZE_THREAD__)
#define VIVIDRA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VIVIDRA_THREAD_SANITIZER 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(VIVIDRA_THREAD_SANITIZER)
#define VIVIDRA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VIVIDRA_SANITIZED 1
#endif
#endif
