/* Includes a file through the flat or the handle API, for the tests:
     include-host flat|handle OUT IN [PREFIX]
   Exit status 0 when the include was taken, 1 when it was refused (the
   message and the fault on stderr). */
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
        GDS_BeginLib(argv[2], 0.001, 1e-9);
        const int status = GDS_Include(argv[3]);
        GDS_EndLib();
        return status == 0 ? 0 : 1;
    }
    int status = 0;
    QuillonWriter* w = quillon_open(argv[2], 0.001, 1e-9, NULL, &status);
    QuillonIncludeOptions options = {sizeof options, argc > 4 ? argv[4] : NULL, NULL, NULL, fault,
                                     NULL};
    status = quillon_include(w, argv[3], &options);
    if (status != 0) fprintf(stderr, "%s\n", quillon_last_error(w));
    quillon_close(w);
    return status == 0 ? 0 : 1;
}
