// runtime_checks.h -- what the C++ programs of the shared-runtime Wine
// tests check about the one C++ runtime they share with Quillon.dll: where
// each exception arrives, and what std::uncaught_exceptions() reads during
// and after the unwinding.
#pragma once

#include <cstdio>
#include <exception>
#include <string>

#include "quillon.h"

namespace runtime_checks {

inline int failures = 0;

inline void check(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "FAIL: %s\n", what.c_str());
        ++failures;
    }
}

// A commit-or-rollback guard: it rolls back when it is destroyed by an
// exception that was not yet in flight when it was made.
struct TransactionGuard {
    explicit TransactionGuard(bool* rolledBack)
        : rolledBack(rolledBack), pending(std::uncaught_exceptions()) {}
    ~TransactionGuard() { *rolledBack = std::uncaught_exceptions() > pending; }
    bool* rolledBack;
    int pending;
};

// The runtime's count of exceptions in flight, which must be back to zero
// once a handler has caught.
inline void expectNoExceptionInFlight(const std::string& after) {
    const int inFlight = std::uncaught_exceptions();
    check(inFlight == 0, "after " + after + ": std::uncaught_exceptions() is " +
                             std::to_string(inFlight) + ", not 0");
    // The older query reads the same count; it is deprecated, not gone.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    check(!std::uncaught_exception(), "after " + after + ": std::uncaught_exception() is true");
#pragma GCC diagnostic pop
}

// Makes the call inside a guarded host frame and catches the
// GDSIIException it throws: returns its text ("(nothing thrown)" when there
// was none) and checks that the guard rolled back and that nothing is left
// in flight afterwards.
template <typename Call>
std::string caughtFrom(const char* what, Call call) {
    bool rolledBack = false;
    std::string text = "(nothing thrown)";
    try {
        TransactionGuard guard(&rolledBack);
        call();
    } catch (const GDSIIException& error) {
        text = error.message;
        check(std::uncaught_exceptions() == 0,
              std::string(what) + ": an exception is counted in flight inside the handler");
    }
    check(rolledBack, std::string(what) + ": the guard committed while the exception unwound it");
    expectNoExceptionInFlight(what);
    return text;
}

inline void expectText(const char* what, const std::string& got, const char* expected) {
    check(got == expected,
          std::string(what) + ": got \"" + got + "\", expected \"" + expected + "\"");
}

}  // namespace runtime_checks
