/* plugin_loader.c -- a plain C program that loads QuillonPlugin.dll, a C++
   plugin driving Quillon.dll, and runs it: plugin_loader OUTPUT.gds
   Exit status: the plugin's count of failed checks (0 when every
   GDSIIException was caught inside the plugin), or 100 when the plugin
   cannot be loaded. */
#include <stdio.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

typedef int(__cdecl* RunFn)(const char* fileName);

int main(int argc, char** argv) {
    HMODULE plugin;
    RunFn run;
    int failures;
    if (argc != 2) {
        fprintf(stderr, "usage: plugin_loader OUTPUT.gds\n");
        return 100;
    }
    plugin = LoadLibraryA("QuillonPlugin.dll");
    if (plugin == NULL) {
        fprintf(stderr, "FAIL: cannot load QuillonPlugin.dll (error %lu)\n", GetLastError());
        return 100;
    }
    run = (RunFn)(void (*)(void))GetProcAddress(plugin, "quillon_plugin_run");
    if (run == NULL) {
        fprintf(stderr, "FAIL: QuillonPlugin.dll exports no quillon_plugin_run\n");
        return 100;
    }
    failures = run(argv[1]);
    printf("plugin returned %d failures\n", failures);
    FreeLibrary(plugin);
    return failures;
}
