/* dll_loading.h -- how the C hosts load Quillon at run time, as a Windows
   program loads Quillon.dll: LoadLibraryA and GetProcAddress there, dlopen
   and dlsym against libquillon.so elsewhere, each function looked up both by
   name and by ordinal, and the two checked to agree.

   A shared object has no ordinals, so the name stands in for them. The
   host defines, before including this file,
       static int failures;                           counts disagreements
   and, except on Windows,
       static const char* nameOfOrdinal(int ordinal);  the export at ordinal */
#ifndef QUILLON_TESTS_DLL_LOADING_H
#define QUILLON_TESTS_DLL_LOADING_H

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

typedef void (*AnyFunction)(void);

#if defined(_WIN32)
typedef HMODULE Library;

static Library openLibrary(const char* path) { return LoadLibraryA(path); }

static AnyFunction byName(Library library, const char* name) {
    return (AnyFunction)GetProcAddress(library, name);
}

static AnyFunction byOrdinal(Library library, int ordinal) {
    return (AnyFunction)GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
}
#else
typedef void* Library;

static Library openLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }

static AnyFunction byName(Library library, const char* name) {
    AnyFunction function;
    void* symbol = dlsym(library, name);
    memcpy(&function, &symbol, sizeof function);
    return function;
}

static AnyFunction byOrdinal(Library library, int ordinal) {
    const char* name = nameOfOrdinal(ordinal);
    return name != NULL ? byName(library, name) : NULL;
}
#endif

/* The function name at ordinal, after checking that name and ordinal reach
   one address; the one reached by name (useName) or by ordinal. */
static AnyFunction resolve(Library library, const char* name, int ordinal, int useName) {
    AnyFunction named = byName(library, name);
    AnyFunction numbered = byOrdinal(library, ordinal);
    if (named == NULL || numbered == NULL || named != numbered) {
        fprintf(stderr, "FAIL: %s by name %p, by ordinal %d %p\n", name, (void*)(uintptr_t)named,
                ordinal, (void*)(uintptr_t)numbered);
        ++failures;
    }
    return useName ? named : numbered;
}

#endif
