/* replay: makes Quillon calls read from a script, one call per line, so that
   the Python tests can compare the binding's files with files written by
   the same calls made from C.

   Usage: replay SCRIPT

   Each line names a function of quillon.h without its GDS_ prefix, followed
   by its arguments in the header's order, separated by blanks. A point array
   is written as its count followed by x0 y0 x1 y1 ...; an AREF takes its three
   points as x0 y0 x1 y1 x2 y2. Strings are single words. Blank lines and lines
   starting with # are skipped. Every message the library reports is printed
   as "report: <message>". */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillon.h"

#define MAX_POINTS 40000

static int QUILLON_CALL printReport(const char* message) {
    printf("report: %s\n", message);
    return 0;
}

static char* nextToken(void) {
    char* token = strtok(NULL, " \t\r\n");
    if (token == NULL) {
        fprintf(stderr, "replay: missing argument\n");
        exit(2);
    }
    return token;
}

static int nextInt(void) { return (int)strtol(nextToken(), NULL, 0); }
static double nextDouble(void) { return strtod(nextToken(), NULL); }

static int xs[MAX_POINTS];
static int ys[MAX_POINTS];

/* Reads a count and that many points into xs and ys; returns the count. */
static int nextPoints(void) {
    int count = nextInt();
    if (count < 0 || count > MAX_POINTS) {
        fprintf(stderr, "replay: bad point count %d\n", count);
        exit(2);
    }
    for (int i = 0; i < count; ++i) {
        xs[i] = nextInt();
        ys[i] = nextInt();
    }
    return count;
}

static void replay(char* line) {
    char* name = strtok(line, " \t\r\n");
    if (name == NULL || name[0] == '#') return;
    if (strcmp(name, "SetTimestamp") == 0) {
        int f[6];
        for (int i = 0; i < 6; ++i) f[i] = nextInt();
        GDS_SetTimestamp(f[0], f[1], f[2], f[3], f[4], f[5]);
    } else if (strcmp(name, "BeginLib") == 0) {
        char* file = nextToken();
        double user = nextDouble();
        GDS_BeginLib(file, user, nextDouble());
    } else if (strcmp(name, "EndLib") == 0) {
        GDS_EndLib();
    } else if (strcmp(name, "BeginStructure") == 0) {
        GDS_BeginStructure(nextToken());
    } else if (strcmp(name, "EndStructure") == 0) {
        GDS_EndStructure();
    } else if (strcmp(name, "Box") == 0 || strcmp(name, "BoxWH") == 0) {
        int v[8];
        for (int i = 0; i < 8; ++i) v[i] = nextInt();
        if (name[3] == 'W')
            GDS_BoxWH(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        else
            GDS_Box(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    } else if (strcmp(name, "Square") == 0) {
        int v[7];
        for (int i = 0; i < 7; ++i) v[i] = nextInt();
        GDS_Square(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    } else if (strcmp(name, "Boundary") == 0 || strcmp(name, "Node") == 0) {
        int count = nextPoints();
        int v[4];
        for (int i = 0; i < 4; ++i) v[i] = nextInt();
        if (name[0] == 'B')
            GDS_Boundary(xs, ys, count, v[0], v[1], v[2], v[3]);
        else
            GDS_Node(xs, ys, count, v[0], v[1], v[2], v[3]);
    } else if (strcmp(name, "Path") == 0) {
        int count = nextPoints();
        int v[6];
        for (int i = 0; i < 6; ++i) v[i] = nextInt();
        GDS_Path(xs, ys, count, v[0], v[1], v[2], v[3], v[4], v[5]);
    } else if (strcmp(name, "Circle") == 0) {
        int v[8];
        for (int i = 0; i < 8; ++i) v[i] = nextInt();
        GDS_Circle(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    } else if (strcmp(name, "Arc") == 0 || strcmp(name, "Sector") == 0) {
        int cx = nextInt(), cy = nextInt(), r = nextInt();
        double start = nextDouble();
        double end = nextDouble();
        if (name[0] == 'A') {
            int v[7];
            for (int i = 0; i < 7; ++i) v[i] = nextInt();
            GDS_Arc(cx, cy, r, start, end, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
        } else {
            int v[5];
            for (int i = 0; i < 5; ++i) v[i] = nextInt();
            GDS_Sector(cx, cy, r, start, end, v[0], v[1], v[2], v[3], v[4]);
        }
    } else if (strcmp(name, "Sref") == 0) {
        char* sname = nextToken();
        int x = nextInt(), y = nextInt(), strans = nextInt();
        double mag = nextDouble();
        double angle = nextDouble();
        int elFlags = nextInt();
        GDS_Sref(sname, x, y, strans, mag, angle, elFlags, nextInt());
    } else if (strcmp(name, "Aref") == 0) {
        char* sname = nextToken();
        for (int i = 0; i < 3; ++i) {
            xs[i] = nextInt();
            ys[i] = nextInt();
        }
        int columns = nextInt(), rows = nextInt(), strans = nextInt();
        double mag = nextDouble();
        double angle = nextDouble();
        int elFlags = nextInt();
        GDS_Aref(sname, xs, ys, columns, rows, strans, mag, angle, elFlags, nextInt());
    } else if (strcmp(name, "Text") == 0) {
        int x = nextInt(), y = nextInt();
        char* text = nextToken();
        int v[6];
        for (int i = 0; i < 6; ++i) v[i] = nextInt();
        double mag = nextDouble();
        double angle = nextDouble();
        int elFlags = nextInt();
        GDS_Text(x, y, text, v[0], v[1], v[2], v[3], v[4], v[5], mag, angle, elFlags,
                 nextInt());
    } else {
        fprintf(stderr, "replay: unknown call %s\n", name);
        exit(2);
    }
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: replay SCRIPT\n");
        return 2;
    }
    FILE* script = fopen(argv[1], "r");
    if (script == NULL) {
        perror(argv[1]);
        return 2;
    }
    SetErrorHandle(printReport);
    static char line[1 << 20];
    while (fgets(line, sizeof line, script) != NULL) replay(line);
    fclose(script);
    return 0;
}
