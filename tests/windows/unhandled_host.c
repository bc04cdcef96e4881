/* unhandled_host.c -- a C host of the self-contained Quillon.dll that
   installs no error handler and then makes a call out of order. Nothing in
   a C program can catch the GDSIIException, so the process must end inside
   that call: the line after it is never printed. */
#include <stdio.h>

#include "quillon.h"

int main(void) {
    printf("calling GDS_EndLib without a handler\n");
    fflush(stdout);
    GDS_EndLib();
    printf("survived GDS_EndLib\n");
    return 0;
}
