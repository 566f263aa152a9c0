/* SPDX-License-Identifier: Apache-2.0 */
/*
 * Writes a few values into every writable data area of a PLC (or of orvasim),
 * reads them back, reads some inputs, and prints each value as address,
 * decimal, hexadecimal and characters.
 *
 *   readwrite_all [ADDRESS [OWN_TSAP [PLC_TSAP]]]     (default 127.0.0.1)
 *
 * Exit status: 0 when every value read back as written, 1 when a call failed
 * or a value read back differs, 64 for bad usage.
 */
#include <stdio.h>
#include <string.h>

#include "orvanet.h"

/* Given by the project's build; a copy built on its own says so. */
#ifndef ORVA_VERSION
#  define ORVA_VERSION "(built outside the orvanet tree)"
#endif

enum { COUNT = 4, TIMEOUT_MS = 2000, EXIT_USAGE = 64 };

static int failedCalls = 0;
static int wrongValues = 0;

static void usage(FILE *out) {
    fputs(
        "usage: readwrite_all [ADDRESS [OWN_TSAP [PLC_TSAP]]]\n"
        "Writes and reads back outputs, flags, data block DB 5, extended data\n"
        "block DX 7, timers and counters, then reads inputs, at the adapter's\n"
        "dotted IPv4 ADDRESS (default 127.0.0.1) on port 102.\n",
        out);
}

static int isPrintable(unsigned c) { return c >= 0x20 && c <= 0x7E; }

/* True when the call succeeded; otherwise says why, on the area's table. */
static int succeeded(const char *call, int handle, int result) {
    if (result == ORVA_OK) return 1;
    ++failedCalls;
    if (result == ORVA_ERR_SOCKET) {
        const int socketError = ORVAGetSockErr(handle);
        printf("  %s failed: socket error %d: %s (result %d)\n", call, socketError, ORVASocketErrorText(socketError),
               result);
    } else {
        printf("  %s failed: %s (result %d)\n", call, ORVAResultName(result), result);
    }
    return 0;
}

static void printRow(const char *label, int address, unsigned value, int digits, const char *chars) {
    char text[32];
    snprintf(text, sizeof text, "%s%d", label, address);
    printf("  %-12s %6u  %0*X%s%s\n", text, value, digits, value, chars[0] != '\0' ? "  " : "", chars);
}

static void printByte(const char *label, int address, unsigned char b) {
    char chars[4] = "";
    if (isPrintable(b)) snprintf(chars, sizeof chars, "'%c'", b);
    printRow(label, address, b, 2, chars);
}

static void printWord(const char *label, int address, unsigned short w) {
    const unsigned lo = w & 0xFFu, hi = (unsigned)w >> 8;
    char chars[5] = "";
    if (isPrintable(lo) && isPrintable(hi)) snprintf(chars, sizeof chars, "'%c%c'", (char)lo, (char)hi);
    printRow(label, address, w, 4, chars);
}

/* Bytes of outputs or flags: write, read back, compare. */
static void byteArea(int handle, const char *name, char letter, const char *label, int start) {
    const unsigned char out[COUNT] = {'O', 'K', 0x7F, 200};
    unsigned char in[COUNT] = {0};
    int i;
    printf("%s, bytes %s%d..%s%d\n", name, label, start, label, start + COUNT - 1);
    if (!succeeded("ORVAWrB", handle, ORVAWrB(handle, letter, 0, start, COUNT, out)) ||
        !succeeded("ORVARdB", handle, ORVARdB(handle, letter, 0, start, COUNT, in)))
        return;
    for (i = 0; i < COUNT; ++i) {
        printByte(label, start + i, in[i]);
        if (in[i] != out[i]) ++wrongValues;
    }
}

/* Words of a block, timers or counters: write, read back, compare. */
static void wordArea(int handle, const char *name, char letter, int block, const char *label, int start) {
    const unsigned short out[COUNT] = {0x4142, 1234, 0xFFFF, (unsigned short)(block * 100)};
    unsigned short in[COUNT] = {0};
    int i;
    printf("%s, words %s%d..%s%d\n", name, label, start, label, start + COUNT - 1);
    if (!succeeded("ORVAWrW", handle, ORVAWrW(handle, letter, block, start, COUNT, out)) ||
        !succeeded("ORVARdW", handle, ORVARdW(handle, letter, block, start, COUNT, in)))
        return;
    for (i = 0; i < COUNT; ++i) {
        printWord(label, start + i, in[i]);
        if (in[i] != out[i]) ++wrongValues;
    }
}

int main(int argc, char **argv) {
    const char *address = "127.0.0.1", *ownTsap = "", *plcTsap = "";
    unsigned char inputs[COUNT];
    int i, handle;

    for (i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        }
        if (strcmp(argv[i], "-V") == 0 || strcmp(argv[i], "--version") == 0) {
            printf("readwrite_all %s\n", ORVA_VERSION);
            return 0;
        }
        if (argv[i][0] == '-' || i > 3) {
            fprintf(stderr, "readwrite_all: unexpected argument '%s'\n", argv[i]);
            usage(stderr);
            return EXIT_USAGE;
        }
    }
    if (argc > 1) address = argv[1];
    if (argc > 2) ownTsap = argv[2];
    if (argc > 3) plcTsap = argv[3];

    handle = ORVAOpen(address, ownTsap, plcTsap, TIMEOUT_MS, TIMEOUT_MS, TIMEOUT_MS);
    if (handle < 0) {
        fprintf(stderr, "ORVAOpen failed: %s (result %d)\n", ORVAResultName(handle), handle);
        return 1;
    }
    printf("handle %d to %s\n", handle, address);

    byteArea(handle, "outputs A", 'A', "AB", 0);
    byteArea(handle, "flags M", 'M', "MB", 10);
    wordArea(handle, "data block DB 5", 'D', 5, "DB 5 DW", 0);
    wordArea(handle, "extended data block DX 7", 'X', 7, "DX 7 DW", 2);
    wordArea(handle, "timers T", 'T', 0, "T ", 3);
    wordArea(handle, "counters Z", 'Z', 0, "Z ", 3);

    printf("inputs E (read only), bytes EB0..EB%d\n", COUNT - 1);
    if (succeeded("ORVARdB", handle, ORVARdB(handle, 'E', 0, 0, COUNT, inputs)))
        for (i = 0; i < COUNT; ++i) printByte("EB", i, inputs[i]);

    ORVAClose(handle);
    if (failedCalls == 0 && wrongValues == 0) {
        printf("all values read back as written\n");
        return 0;
    }
    printf("%d calls failed, %d values read back differently\n", failedCalls, wrongValues);
    return 1;
}
