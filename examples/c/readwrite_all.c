/*
 * Writes a few values into every writable data area of a PLC (or of orvasim),
 * reads them back, reads some inputs, and prints each value as address,
 * decimal, hexadecimal and characters.
 *
 *   readwrite_all [address] [own TSAP] [PLC TSAP]     (default 127.0.0.1)
 *
 * Exit status: 0 when every value read back as written, 1 otherwise.
 */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "orvanet.h"

enum { COUNT = 4, TIMEOUT_MS = 2000 };

static int failures = 0;

static void report(const char *what, int handle, int result)
{
    if (result == ORVA_OK)
        return;
    ++failures;
    if (result == ORVA_ERR_SOCKET)
        fprintf(stderr, "%s: %s, socket error %d\n", what, ORVAResultName(result), ORVAGetSockErr(handle));
    else
        fprintf(stderr, "%s: %s (%d)\n", what, ORVAResultName(result), result);
}

static void printAddress(const char *label, int address)
{
    char text[32];
    snprintf(text, sizeof text, "%s%d", label, address);
    printf("  %-12s", text);
}

static void printByte(const char *label, int address, unsigned char b)
{
    printAddress(label, address);
    printf(" %6u  %4X  ", (unsigned)b, (unsigned)b);
    if (isprint(b))
        printf("'%c'", b);
    printf("\n");
}

static void printWord(const char *label, int address, unsigned short w)
{
    unsigned char lo = (unsigned char)(w & 0xFF), hi = (unsigned char)(w >> 8);
    printAddress(label, address);
    printf(" %6u  %4X  ", (unsigned)w, (unsigned)w);
    if (isprint(lo) && isprint(hi))
        printf("'%c%c'", lo, hi);
    printf("\n");
}

/* Bytes of outputs or flags: write, read back, compare. */
static void byteArea(int handle, char letter, const char *label, int start)
{
    unsigned char out[COUNT] = {'O', 'K', 0x7F, 200}, in[COUNT] = {0};
    int i;
    char what[64];
    snprintf(what, sizeof what, "bytes of %c", letter);
    report(what, handle, ORVAWrB(handle, letter, 0, start, COUNT, out));
    report(what, handle, ORVARdB(handle, letter, 0, start, COUNT, in));
    printf("%s (area %c)\n", what, letter);
    for (i = 0; i < COUNT; ++i) {
        printByte(label, start + i, in[i]);
        if (in[i] != out[i])
            ++failures;
    }
}

/* Words of a block, timers or counters: write, read back, compare. */
static void wordArea(int handle, char letter, int block, const char *label, int start)
{
    unsigned short out[COUNT] = {0x4142, 1234, 0xFFFF, (unsigned short)(block * 100)}, in[COUNT] = {0};
    int i;
    char what[64];
    snprintf(what, sizeof what, "words of %c%d", letter, block);
    report(what, handle, ORVAWrW(handle, letter, block, start, COUNT, out));
    report(what, handle, ORVARdW(handle, letter, block, start, COUNT, in));
    printf("%s (area %c)\n", what, letter);
    for (i = 0; i < COUNT; ++i) {
        printWord(label, start + i, in[i]);
        if (in[i] != out[i])
            ++failures;
    }
}

int main(int argc, char **argv)
{
    const char *address = argc > 1 ? argv[1] : "127.0.0.1";
    const char *ownTsap = argc > 2 ? argv[2] : "";
    const char *plcTsap = argc > 3 ? argv[3] : "";
    unsigned char inputs[COUNT];
    int i, result;

    int handle = ORVAOpen(address, ownTsap, plcTsap, TIMEOUT_MS, TIMEOUT_MS, TIMEOUT_MS);
    if (handle < 0) {
        fprintf(stderr, "ORVAOpen: %s (%d)\n", ORVAResultName(handle), handle);
        return 1;
    }
    printf("handle %d to %s\n", handle, address);

    byteArea(handle, 'A', "AB", 0);
    byteArea(handle, 'M', "MB", 10);
    wordArea(handle, 'D', 5, "DB 5 DW", 0);
    wordArea(handle, 'X', 7, "DX 7 DW", 2);
    wordArea(handle, 'T', 0, "T ", 3);
    wordArea(handle, 'Z', 0, "Z ", 3);

    result = ORVARdB(handle, 'E', 0, 0, COUNT, inputs);
    report("bytes of E", handle, result);
    if (result == ORVA_OK) {
        printf("bytes of E (area E, read only)\n");
        for (i = 0; i < COUNT; ++i)
            printByte("EB", i, inputs[i]);
    }

    ORVAClose(handle);
    printf(failures == 0 ? "all values read back as written\n" : "%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
