/* A program built against an installed Quillon: writes a one-box layout
   with a fixed time stamp and checks the first records of the file. */
#include <stdio.h>
#include <string.h>

#include "quillon.h"

static int QUILLON_CALL onError(const char* message) {
    fprintf(stderr, "quillon: %s\n", message);
    return 0;
}

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "consumer.gds";
    /* HEADER 3, BGNLIB with 2026-12-07 08:32:51 twice (years counted from
       1900), then LIBNAME. */
    static const unsigned char expected[] = {
        0x00, 0x06, 0x00, 0x02, 0x00, 0x03,
        0x00, 0x1C, 0x01, 0x02,
        0x00, 0x7E, 0x00, 0x0C, 0x00, 0x07, 0x00, 0x08, 0x00, 0x20, 0x00, 0x33,
        0x00, 0x7E, 0x00, 0x0C, 0x00, 0x07, 0x00, 0x08, 0x00, 0x20, 0x00, 0x33,
    };
    unsigned char data[64];
    size_t got, length = strlen(name) + (strlen(name) & 1);
    FILE* file;

    SetErrorHandle(onError);
    if (!GDS_SetTimestamp(2026, 12, 7, 8, 32, 51)) return 1;
    GDS_BeginLib(name, 0.001, 1e-9);
    GDS_BeginStructure("TOP");
    GDS_Box(0, 0, 1000, 500, 1, 0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();

    file = fopen(name, "rb");
    if (!file) { fprintf(stderr, "cannot read %s\n", name); return 1; }
    got = fread(data, 1, sizeof data, file);
    fclose(file);
    if (got < sizeof expected + 4 + length
        || memcmp(data, expected, sizeof expected) != 0) {
        fprintf(stderr, "HEADER/BGNLIB differ\n");
        return 1;
    }
    /* LIBNAME: length, record 02 06 (ASCII string), the name padded to even. */
    if (data[sizeof expected] != 0 || data[sizeof expected + 1] != 4 + length
        || data[sizeof expected + 2] != 0x02 || data[sizeof expected + 3] != 0x06
        || memcmp(data + sizeof expected + 4, name, strlen(name)) != 0) {
        fprintf(stderr, "LIBNAME differs\n");
        return 1;
    }
    printf("consumer: %s checked\n", name);
    return 0;
}
