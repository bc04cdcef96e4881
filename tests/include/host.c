/* Includes a file through the flat or the handle API, for the tests:
     include-host flat|handle OUT IN [PREFIX]
   OUT ending in ".oas" is an OASIS library (the flat API told so by
   GDS_SetFormat, the handle by the name).
   IN "-": nothing included, the library the include would be added to.
   The handle library has a fixed name and time stamp, so that its bytes can be
   compared. Exit status 0 when the include was taken, 1 when it was refused
   (the message and the fault on stderr). */
#include <stdio.h>
#include <string.h>

#include "quillon.h"

static int QUILLON_CALL report(const char* message) {
    fprintf(stderr, "%s\n", message);
    return 0;
}

static void QUILLON_CALL fault(void* user, long long offset, const char* detail) {
    (void)user;
    fprintf(stderr, "offset %lld: %s\n", offset, detail);
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    if (strcmp(argv[1], "flat") == 0) {
        SetErrorHandle(report);
        const size_t length = strlen(argv[2]);
        if (length > 4 && strcmp(argv[2] + length - 4, ".oas") == 0)
            GDS_SetFormat(QUILLON_FORMAT_OASIS);
        GDS_BeginLib(argv[2], 0.001, 1e-9);
        const int status = GDS_Include(argv[3]);
        GDS_EndLib();
        return status == 0 ? 0 : 1;
    }
    int status = 0;
    QuillonOptions settings;
    quillon_default_options(&settings);
    settings.libraryName = "HOSTLIB";
    const int stamp[6] = {2026, 12, 9, 12, 0, 0};
    memcpy(settings.timestamp, stamp, sizeof stamp);
    QuillonWriter* w = quillon_open(argv[2], 0.001, 1e-9, &settings, &status);
    QuillonIncludeOptions options = {sizeof options, argc > 4 ? argv[4] : NULL, NULL, NULL, fault,
                                     NULL, QUILLON_CLASH_ERROR};
    /* The output already holds a structure when the include starts. */
    quillon_begin_structure(w, "HOST");
    quillon_box(w, 0, 0, 10, 10, 1, 0, 0, 0);
    quillon_end_structure(w);
    if (strcmp(argv[3], "-") != 0) status = quillon_include(w, argv[3], &options);
    if (status != 0) fprintf(stderr, "%s\n", quillon_last_error(w));
    quillon_close(w);
    return status == 0 ? 0 : 1;
}
