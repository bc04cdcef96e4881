// Where the compiler inlines. The small elements cost little more than their
// call: an entry point marked QUILLON_INLINE_CALLEES takes its writer's whole
// hot path inline (with link-time optimisation, across sources), as if the
// writer had no other caller; the rare paths it must not copy into every
// entry point (reports, buffer hand-overs, properties) are QUILLON_COLD.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#  define QUILLON_INLINE_CALLEES __attribute__((flatten))
#  define QUILLON_COLD __attribute__((noinline, cold))
#else
#  define QUILLON_INLINE_CALLEES
#  define QUILLON_COLD
#endif
